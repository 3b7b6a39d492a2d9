// Simulated user interface (beeps, message boxes, system message texts) and
// companion libraries with their entries.
#include <algorithm>
#include <stdexcept>
#include <utility>

#include "platform/sim/machine.h"

namespace qf::sim {
namespace detail {
namespace {

LibraryRecord* FindLibrary(const std::string& name) {
  auto& libraries = M().libraries;
  auto it = libraries.find(Fold(name));
  if (it == libraries.end()) return nullptr;
  return it->second.get();
}

}  // namespace
}  // namespace detail

void AddLibrary(const std::string& name, const std::string& dir) {
  auto& slot = detail::M().libraries[detail::Fold(name)];
  if (!slot) {
    slot = std::make_unique<detail::LibraryRecord>();
    slot->name = name;
  }
  slot->dir = dir;
}

void AddEntry(const std::string& library, const std::string& entry,
              std::function<void(const char*)> onCall) {
  detail::LibraryRecord* record = detail::FindLibrary(library);
  if (!record) detail::Misuse("AddEntry to a library never added: " + library);
  auto& slot = record->entries[entry];
  if (!slot) slot = std::make_unique<detail::EntryRecord>();
  slot->library = record->name;
  slot->name = entry;
  slot->onCall = std::move(onCall);
}

void SetMessageText(uint32_t code, const std::string& text) {
  detail::M().messages[code] = text;
}

}  // namespace qf::sim

namespace qf::platform {

using sim::Change;
using sim::Op;
using namespace sim::detail;

void Beep() { Record(Change::Beep); }

void JournalDecision(Decision decision, const std::string& subject, int64_t first, int64_t second,
                     const std::string& detail) {
  RecordDecision(decision, subject, first, second, detail);
}

void JournalStepEnded() {
  RecordStepEnd();
}

void ShowMessage(const char* text, const char* caption, uint32_t icon) {
  // Without a caption the system titles the box "Error".
  Record(Change::MessageBox, caption ? caption : "Error", text ? text : "", icon);
}

long SystemErrorText(uint32_t code, std::string* text) {
  if (long injected = BeginOp(Op::SystemErrorText, {std::to_string(code)})) return injected;
  auto given = M().messages.find(code);
  if (given != M().messages.end()) {
    *text = given->second;
    return kSuccess;
  }
  // A small message table: just the codes tests need.
  switch (code) {
    case 0: *text = "The operation completed successfully.\r\n"; break;
    case 2: *text = "The system cannot find the file specified.\r\n"; break;
    case 5: *text = "Access denied.\r\n"; break;
    default: return kErrorMessageNotFound;
  }
  return kSuccess;
}

void detail::CloseLibraryHandle(std::uintptr_t handle) {
  if (const LibraryHandle* library = FindHandle<LibraryHandle>(handle)) {
    Record(Change::FreeLibrary, library->library->name);
    DropHandle(handle);
  }
}

long Library::Load(const char* name) {
  Close();
  const std::string given = name ? name : "";
  if (long injected = BeginOp(Op::LoadLibrary, {given})) return injected;
  // By bare name only, with ".DLL" assumed when no extension is given.
  if (given.empty() || given.find_first_of("\\/:") != std::string::npos) return kErrorInvalidName;
  LibraryRecord* record = FindLibrary(given);
  if (!record && given.find('.') == std::string::npos) record = FindLibrary(given + ".DLL");
  // Found only where the real backend searches, in its order.
  const Machine& m = M();
  std::vector<std::string> order{m.runFacts.hostDir, m.systemDir};
  order.insert(order.end(), m.dllDirs.begin(), m.dllDirs.end());
  order.push_back(m.windowsDir);
  const std::string lies = record ? (record->dir.empty() ? m.runFacts.hostDir : record->dir) : "";
  if (!record || std::none_of(order.begin(), order.end(),
                              [&](const std::string& dir) { return Fold(dir) == Fold(lies); }))
    return kErrorModNotFound;
  handle_.Reset(AddHandle(LibraryHandle{record}));
  Record(Change::LoadLibrary, record->name);
  return kSuccess;
}

void* Library::Lookup(const char* entry) const {
  const LibraryHandle* library = FindHandle<LibraryHandle>(handle_.Get());
  const std::string name = entry ? entry : "";
  const std::string shown = (library ? library->library->name : std::string()) + "!" + name;
  if (BeginOp(Op::Lookup, {shown}) != kSuccess || !library) return nullptr;
  auto& entries = library->library->entries;
  auto it = entries.find(name);
  if (it == entries.end()) return nullptr;
  Record(Change::Lookup, library->library->name, name);
  return it->second.get();
}

void CallTextEntry(void* entry, const char* text) {
  // Only an entry handed out by Lookup can be called; anything else would
  // crash the real process.
  const EntryRecord* found = nullptr;
  for (const auto& [folded, library] : M().libraries) {
    for (const auto& [name, record] : library->entries) {
      if (record.get() == entry) found = record.get();
    }
  }
  if (!found) throw std::logic_error("CallTextEntry through an unknown entry");
  Record(Change::Call, found->library + "!" + found->name, text ? text : "");
  // A copy: the callback may change the machine, this entry included.
  const std::function<void(const char*)> onCall = found->onCall;
  if (onCall) onCall(text);
}

}  // namespace qf::platform
