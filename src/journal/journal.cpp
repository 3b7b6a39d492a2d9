#include "journal/journal.h"

namespace qf {

namespace journal {
Listener*& Current() {
  static Listener* listener = nullptr;
  return listener;
}
}  // namespace journal

void Decide(Decision decision, const std::string& subject, int64_t first, int64_t second) {
  platform::JournalDecision(decision, subject, first, second);
  if (journal::Listener* l = journal::Current()) l->Decided(decision, subject, first, second);
}

}  // namespace qf
