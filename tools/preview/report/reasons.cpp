// One row per decision of the pass: its name, the step of the pass it is
// about, and its sentence.  In a sentence {subject} is what the decision is
// about, {first} and {second} its numbers, and {code} the first number read
// as the result code of a failed call.  `whenZero`, where given, is the
// sentence for a first number of 0 (a check failed rather than a call).
#include "report/reasons.h"

#include <stdexcept>

namespace qfpreview {
namespace {

using D = qf::Decision;

struct Row {
  D decision;
  const char* name;
  Scope scope;
  const char* sentence;
  const char* whenZero = nullptr;
};

// clang-format off
constexpr Row kRows[] = {
  {D::GateNotMarked, "GateNotMarked", Scope::Gate,
   "not marked as an administrator's installation (no InstallAdmin): any account may uninstall it"},
  {D::GateAdministrator, "GateAdministrator", Scope::Gate,
   "an administrator's installation, and this account may write HKEY_USERS\\{subject}"},
  {D::GateRefused, "GateRefused", Scope::Gate,
   "an administrator's installation, and this account may not write HKEY_USERS\\{subject} ({code}): nothing is removed"},

  {D::UserTreeAbsent, "UserTreeAbsent", Scope::UserSettings,
   "HKCU\\{subject} cannot be opened ({code}): nothing to delete"},
  {D::UserTreeDeleted, "UserTreeDeleted", Scope::UserSettings,
   "HKCU\\{subject} is deleted with everything below it"},
  {D::UserTreeKept, "UserTreeKept", Scope::UserSettings,
   "HKCU\\{subject} stays: a key below it stays, or its parent may not be written"},

  {D::SharedFilesUnused, "SharedFilesUnused", Scope::Flags,
   "{subject} does not read \"TRUE\": no shared component is released"},
  {D::FlagsAbsent, "FlagsAbsent", Scope::Flags,
   "HKLM\\{subject} cannot be opened: no shared component is released"},
  {D::ComponentNotFlagged, "ComponentNotFlagged", Scope::Component,
   "{subject} is not flagged: it is left as it is"},
  {D::ComponentFlagged, "ComponentFlagged", Scope::Component,
   "{subject} is flagged: it is released"},

  {D::ComponentAbsent, "ComponentAbsent", Scope::Component,
   "the record of {subject} cannot be opened ({code}): nothing to release"},
  {D::ComponentIsLink, "ComponentIsLink", Scope::Component,
   "the record of {subject} is a registry link: left as it is, never followed"},
  {D::CountAbsent, "CountAbsent", Scope::Component,
   "{subject} has no UseCount that can be read: left as it is"},
  {D::CountMisstored, "CountMisstored", Scope::Component,
   "a REG_DWORD count of {first} bytes: left as it is"},
  {D::CountLowered, "CountLowered", Scope::Component,
   "UseCount {first} \xE2\x86\x92 {second}, held by another product"},
  {D::RootDirAbsent, "RootDirAbsent", Scope::Component,
   "Quillforge was the last holder of {subject}, but it has no RootDir that can be read: left as it is"},
  {D::RootUnsafe, "RootUnsafe", Scope::Component,
   "the RootDir of {subject} is empty, relative, a drive or share root, or reads otherwise when resolved again: left as it is"},
  {D::RootRefused, "RootRefused", Scope::Component,
   "the RootDir of {subject} cannot be opened ({code}): left as it is",
   "the RootDir of {subject} is a link, lies behind one, or is no directory: left as it is, never followed"},
  {D::RootMissing, "RootMissing", Scope::Component,
   "nothing is at the RootDir of {subject}: only its record goes"},
  {D::TreeRemoved, "TreeRemoved", Scope::Component,
   "Quillforge was the last holder of {subject}: its directory is emptied and removed"},
  {D::TreeKept, "TreeKept", Scope::Component,
   "Quillforge was the last holder of {subject}: its directory is emptied as far as it can be, and stays ({code})"},
  {D::RecordDeleted, "RecordDeleted", Scope::Component,
   "the record of {subject} is deleted"},
  {D::RecordKept, "RecordKept", Scope::Component,
   "the record of {subject} stays ({code}): it holds keys of its own, or may not be deleted"},

  {D::EntryChanged, "EntryChanged", Scope::Entry,
   "not what the listing showed (a link, or something put in its place): left alone"},
  {D::EntryNotDeleted, "EntryNotDeleted", Scope::Entry,
   "{code}"},

  {D::AreaAbsent, "AreaAbsent", Scope::SharedArea,
   "there is no shared area: HKLM\\{subject} cannot be opened"},
  {D::AreaInUse, "AreaInUse", Scope::SharedArea,
   "components left in the shared area: {first}; it stays"},
  {D::AreaDirRemoved, "AreaDirRemoved", Scope::SharedArea,
   "the shared area's directory {subject} is empty, and is removed"},
  {D::AreaDirKept, "AreaDirKept", Scope::SharedArea,
   "the shared area's directory {subject} stays ({code})",
   "the shared area's directory {subject} is not there, or fails a check: it is not removed"},
  {D::AreaDirUnnamed, "AreaDirUnnamed", Scope::SharedArea,
   "the shared area names no directory that can be read (SharedFilesDir)"},
  {D::AreaKeyDeleted, "AreaKeyDeleted", Scope::SharedArea,
   "no component is left: HKLM\\{subject} is deleted"},
  {D::AreaKeyKept, "AreaKeyKept", Scope::SharedArea,
   "HKLM\\{subject} stays ({code})"},

  {D::CompanionAbsent, "CompanionAbsent", Scope::Companions,
   "{subject} is not found: nothing is loaded"},
  {D::CompanionLoaded, "CompanionLoaded", Scope::Companions,
   "{subject} is loaded and released; its entry is only looked up"},
  {D::CompanionCalled, "CompanionCalled", Scope::Companions,
   "{subject} is called with \"/vrxreg\""},
  {D::CompanionEntryMissing, "CompanionEntryMissing", Scope::Companions,
   "{subject} is loaded, but lacks the entry it is looked up for: nothing is called"},

  {D::DirectoryNotListed, "DirectoryNotListed", Scope::Entry,
   "cannot be listed ({code}): left alone with everything in it",
   "not there, or fails the checks through its handle: left alone with everything in it"},
  {D::HelpKeyAbsent, "HelpKeyAbsent", Scope::Entry,
   "the help registrations cannot be opened ({code}): those of the deleted files stay"},
  {D::HelpRegistrationKept, "HelpRegistrationKept", Scope::Entry,
   "deleted, but its help registration stays ({code})"},
  {D::CountNotWritten, "CountNotWritten", Scope::Component,
   "{subject} is held by another product, but its lower UseCount cannot be stored ({code}): left as it is"},
  {D::AreaUncounted, "AreaUncounted", Scope::SharedArea,
   "the components of HKLM\\{subject} cannot be counted ({code}): the shared area stays"},
};
// clang-format on

const Row& RowOf(D decision) {
  for (const Row& row : kRows)
    if (row.decision == decision) return row;
  throw std::logic_error("a decision without a sentence: " +
                         std::to_string(static_cast<uint32_t>(decision)));
}

// A failed call's code as people read it.
std::string CodeText(int64_t code) {
  switch (code) {
    case 2:
    case 3: return "not found";
    case 5: return "read-only or access denied";
    case 32: return "in use by another program";
    case 145: return "holds items that stay";
    case 1921: return "reached through a link, which is never followed";
    default: return "error " + std::to_string(code);
  }
}

void Fill(std::string* text, const std::string& field, const std::string& value) {
  for (size_t at = text->find(field); at != std::string::npos;
       at = text->find(field, at + value.size()))
    text->replace(at, field.size(), value);
}

}  // namespace

Scope ScopeOf(qf::Decision decision) { return RowOf(decision).scope; }

const char* DecisionName(qf::Decision decision) { return RowOf(decision).name; }

std::string Sentence(const qf::sim::DecisionEntry& entry) {
  const Row& row = RowOf(entry.decision);
  std::string text = entry.first == 0 && row.whenZero ? row.whenZero : row.sentence;
  // The subject last: a name may hold anything, braces too.
  Fill(&text, "{first}", std::to_string(entry.first));
  Fill(&text, "{second}", std::to_string(entry.second));
  Fill(&text, "{code}", CodeText(entry.first));
  Fill(&text, "{subject}", entry.subject);
  return text;
}

}  // namespace qfpreview
