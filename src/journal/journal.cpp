#include "journal/journal.h"

namespace qf {

namespace journal {
Listener*& Current() {
  static Listener* listener = nullptr;
  return listener;
}
}  // namespace journal

void Decide(Decision decision, const std::string& subject, int64_t first, int64_t second,
            const std::string& detail) {
  platform::JournalDecision(decision, subject, first, second, detail);
  if (journal::Listener* l = journal::Current())
    l->Decided(decision, subject, first, second, detail);
}

}  // namespace qf
