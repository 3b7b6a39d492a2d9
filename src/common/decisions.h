// What the uninstall pass decided at each step, as it tells the platform
// layer's journal (see qf::Decide, journal.h, which hands each to
// platform::JournalDecision), and the one table that names and
// tells every decision: the preview and the run record both speak from it.
// Windows keeps no record of the decisions by itself; the simulation
// journals them, so the preview reports the pass's own reasons instead of
// working them out again.
//
// A new decision is a value of the enum and a row of kDecisionRows, in the
// same place: the table is checked against the enum when compiled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qf {

enum class Decision : uint32_t {
  // The administrator gate.
  GateNotMarked,      // no InstallAdmin: anyone may uninstall (first: the code when the
                      // product's key cannot be opened, else 0)
  GateAdministrator,  // an administrator's installation, and this account may write .Default
  GateRefused,        // an administrator's installation, and it may not (first: the probe's code)

  // The per-user settings tree (subject: its path below HKCU).
  UserTreeAbsent,   // it cannot be opened (first: the code)
  UserTreeDeleted,  // it is gone with everything below it
  UserTreeKept,     // a key below it stayed, or its parent cannot be written

  // The installation's flags (subject: the flag or component).
  SharedFilesUnused,    // UseSharedFiles does not read "TRUE": no component is released
  FlagsAbsent,          // UnInstInfo cannot be opened (first: the code)
  ComponentNotFlagged,  // the component's flag cannot be read
  ComponentFlagged,     // the component is released

  // One shared component (subject: its name).
  ComponentAbsent,  // its key cannot be opened (first: the code)
  ComponentIsLink,  // its key is a registry link: left as it is
  CountAbsent,      // no UseCount that can be read: left as it is
  CountMisstored,   // a REG_DWORD count of another length than 4 bytes (first: the length)
  CountLowered,     // held by others: first is the count read, second the count written
  RootDirAbsent,    // the last holder, but no RootDir that can be read: left as it is
  RootUnsafe,       // RootDir is empty, relative, a root, or resolves differently again
  RootRefused,      // RootDir fails the checks through its handle (a link, reached through one,
                    // not a directory, cannot be opened: first is the code, 0 when it opened)
  RootMissing,      // nothing is at RootDir: only its key goes
  TreeRemoved,      // the root was emptied and removed
  TreeKept,         // the root stays: something in it stayed (first: the code)
  ComponentKeyDeleted,  // its key under SharedKey is gone
  ComponentKeyKept,     // its key stays (first: the code)

  // Entries of a tree (subject: the entry's path as listed below its parent).
  EntryChanged,     // not what the listing showed (a link, something swapped in): left alone
  EntryNotDeleted,  // could not be opened for deletion or deleted (first: the code)

  // The shared area (subject: SharedKey, or the directory).
  AreaAbsent,        // SharedKey cannot be opened (first: the code)
  AreaInUse,         // components remain (first: how many)
  AreaDirRemoved,    // SharedFilesDir was an empty directory and is gone
  AreaDirKept,       // SharedFilesDir stays (first: the code, 0 when it failed a check)
  AreaDirUnnamed,    // no SharedFilesDir that can be read
  AreaKeyDeleted,    // SharedKey is gone
  AreaKeyKept,       // SharedKey stays (first: the code)

  // The companion libraries (subject: the library's name).
  CompanionAbsent,        // it cannot be loaded
  CompanionLoaded,        // loaded and released; its entry is only looked up
  CompanionCalled,        // its entry was called with the switch
  CompanionEntryMissing,  // loaded, but without the entry: nothing called

  // The help component's registrations (subject: the component).
  HelpKeyAbsent,  // their key cannot be opened as itself: none is removed (first: the code)

  // Steps that stop partway.
  DirectoryNotListed,    // an entry of a tree (subject: its path) cannot be listed, or the
                         // directory fails the checks (first: the code, 0 for a check): it
                         // stays with everything in it
  HelpRegistrationKept,  // a deleted file's registration stays (subject: the file's path;
                         // first: the code)
  CountNotWritten,       // held by others, but the lower count cannot be stored (first: the
                         // code): left as it is
  AreaUncounted,         // SharedKey's components cannot be counted (first: the code): the
                         // shared area stays
  EntryUncarried,        // an entry's name cannot be carried exactly (a lone surrogate;
                         // subject: its path as shown): it stays with everything in it

  // A last holder's verified root that is not the component's own (subject:
  // the component; first: 0 when the root is what the detail names, 1 when
  // it holds it): left as it is, with its count and its key.
  RootHoldsArea,       // the shared area's directory (detail: its path)
  RootHoldsComponent,  // another component's root (detail: "Fonts at C:\...")
  RootHoldsFolder,     // a folder the system or the uninstall keeps (detail: which, and where)
  RootUnchecked,       // what it holds cannot be told (first: the code; detail: what could
                       // not be learnt)
  AreaDirIsFolder,     // the shared area's directory (subject) is a folder the system or the
                       // uninstall keeps (detail: which): it is not removed
  RootBelowWindows,    // a last holder's verified root lies at or below the Windows directory
                       // (first: 0 at it, 1 below; detail: the Windows directory): left as it
                       // is, with its count and its key
  RootHoldsProgram,    // a last holder's verified root is or holds another installed program's
                       // directory (first as for RootHoldsArea; detail: "Other Program at
                       // C:\...", named by its uninstall entry or App Paths): left as it is
  RootInProfile,       // a last holder's verified root lies in another account's profile
                       // (first: 2; detail: which profile, and where): left as it is
  RootNotLocal,        // a last holder's verified root is not on a local disk (detail: its
                       // final path): left as it is
  EntryPassedOver,     // an entry of the machine's lists names no directory that can be told
                       // (subject: the component whose root check read the lists; first:
                       // the code; detail: the entry): it keeps no root

  // A run held to a reviewed plan (the policy's UninstallPlan).
  PlanFollowed,           // the plan (subject: its path) is this machine's and this version's:
                          // nothing it does not list is changed
  PlanUnusable,           // the plan (subject: its path, "" when none can be read) cannot be
                          // used (detail: why): nothing at all is changed
  NotInPlan,              // a change the pass would make to an item (subject: a final path,
                          // "HKCU\..." for a key, a key's path and the value's name for a
                          // value) that the plan does not list: the item is left as it is
  ChangedSincePlan,       // the plan lists the item with another identity (detail: what
                          // differs, "size 12 → 40"): left as it is
  ComponentNotAsPlanned,  // a component (subject) whose count says otherwise than the plan
                          // (detail: how): left as it is, count, key and tree
  CompanionNotInPlan,     // the plan does not call the companion (subject): it is not called

  kCount  // not a decision: the number of them
};

// The step of the pass a decision belongs to.  A component's decisions
// belong to the component their subject names; an entry's to the component
// whose tree is being emptied.
enum class PassStep : uint8_t { Gate, UserSettings, Flags, Component, SharedArea, Companions };

// What a decision's subject names.
enum class Subject : uint8_t {
  ValueName,  // a value of the key the step reads
  Key,        // a key's path below its root
  Component,  // a shared component's name
  Entry,      // an entry of a tree, as listed below its parent's final path, or another
              // single item a change acts on (a key, a value)
  Directory,  // a directory a key names
  Library,    // a companion library's name
};

// One decision as the reports tell it.  In a sentence {subject} is what the
// decision is about, {first} and {second} its numbers, {code} the first
// number read as the result code of a failed call, and {detail} the text
// that names what else it concerns (what a refused root holds).  `whenZero`, where
// given, is the sentence for a first number of 0 (a check failed rather
// than a call).
struct DecisionRow {
  Decision decision;
  const char* name;  // as the JSON reports spell it: "CountLowered"
  PassStep step;
  Subject subject;
  const char* sentence;
  const char* whenZero = nullptr;
};

namespace decision_rows {
using D = Decision;
using S = Subject;
using P = PassStep;

// clang-format off
inline constexpr DecisionRow kRows[] = {
  {D::GateNotMarked, "GateNotMarked", P::Gate, S::ValueName,
   "not marked as an administrator's installation (its key cannot be opened: {code}): any account may uninstall it",
   "not marked as an administrator's installation (no InstallAdmin): any account may uninstall it"},
  {D::GateAdministrator, "GateAdministrator", P::Gate, S::Key,
   "an administrator's installation, and this account may write HKEY_USERS\\{subject}"},
  {D::GateRefused, "GateRefused", P::Gate, S::Key,
   "an administrator's installation, and this account may not write HKEY_USERS\\{subject} ({code}): nothing is removed"},

  {D::UserTreeAbsent, "UserTreeAbsent", P::UserSettings, S::Key,
   "HKCU\\{subject} cannot be opened ({code}): nothing to delete"},
  {D::UserTreeDeleted, "UserTreeDeleted", P::UserSettings, S::Key,
   "HKCU\\{subject} is deleted with everything below it"},
  {D::UserTreeKept, "UserTreeKept", P::UserSettings, S::Key,
   "HKCU\\{subject} stays: a key below it stays, or its parent may not be written"},

  {D::SharedFilesUnused, "SharedFilesUnused", P::Flags, S::ValueName,
   "{subject} does not read \"TRUE\": no shared component is released"},
  {D::FlagsAbsent, "FlagsAbsent", P::Flags, S::Key,
   "HKLM\\{subject} cannot be opened ({code}): no shared component is released"},
  {D::ComponentNotFlagged, "ComponentNotFlagged", P::Component, S::Component,
   "{subject} is not flagged: it is left as it is"},
  {D::ComponentFlagged, "ComponentFlagged", P::Component, S::Component,
   "{subject} is flagged: it is released"},

  {D::ComponentAbsent, "ComponentAbsent", P::Component, S::Component,
   "the key of {subject} cannot be opened ({code}): nothing to release"},
  {D::ComponentIsLink, "ComponentIsLink", P::Component, S::Component,
   "the key of {subject} is a registry link: left as it is, never followed"},
  {D::CountAbsent, "CountAbsent", P::Component, S::Component,
   "{subject} has no UseCount that can be read: left as it is"},
  {D::CountMisstored, "CountMisstored", P::Component, S::Component,
   "a REG_DWORD count of {first} bytes: left as it is"},
  {D::CountLowered, "CountLowered", P::Component, S::Component,
   "UseCount {first} \xE2\x86\x92 {second}, held by another product"},
  {D::RootDirAbsent, "RootDirAbsent", P::Component, S::Component,
   "Quillforge was the last holder of {subject}, but it has no RootDir that can be read: left as it is"},
  {D::RootUnsafe, "RootUnsafe", P::Component, S::Component,
   "the RootDir of {subject} is empty, relative, a drive or share root, or reads otherwise when resolved again: left as it is"},
  {D::RootRefused, "RootRefused", P::Component, S::Component,
   "the RootDir of {subject} cannot be opened ({code}): left as it is",
   "the RootDir of {subject} is a link, lies behind one, or is no directory: left as it is, never followed"},
  {D::RootMissing, "RootMissing", P::Component, S::Component,
   "nothing is at the RootDir of {subject}: only its key goes"},
  {D::TreeRemoved, "TreeRemoved", P::Component, S::Component,
   "Quillforge was the last holder of {subject}: its directory is emptied and removed"},
  {D::TreeKept, "TreeKept", P::Component, S::Component,
   "Quillforge was the last holder of {subject}: its directory is emptied as far as it can be, and stays ({code})"},
  {D::ComponentKeyDeleted, "ComponentKeyDeleted", P::Component, S::Component,
   "the key of {subject} is deleted"},
  {D::ComponentKeyKept, "ComponentKeyKept", P::Component, S::Component,
   "the key of {subject} stays ({code}): it holds keys of its own, or may not be deleted"},

  {D::EntryChanged, "EntryChanged", P::Component, S::Entry,
   "not what the listing showed (a link, or something put in its place): left alone"},
  {D::EntryNotDeleted, "EntryNotDeleted", P::Component, S::Entry,
   "{code}"},

  {D::AreaAbsent, "AreaAbsent", P::SharedArea, S::Key,
   "there is no shared area: HKLM\\{subject} cannot be opened ({code})"},
  {D::AreaInUse, "AreaInUse", P::SharedArea, S::Key,
   "components left in the shared area: {first}; it stays"},
  {D::AreaDirRemoved, "AreaDirRemoved", P::SharedArea, S::Directory,
   "the shared area's directory {subject} is empty, and is removed"},
  {D::AreaDirKept, "AreaDirKept", P::SharedArea, S::Directory,
   "the shared area's directory {subject} stays ({code})",
   "the shared area's directory {subject} is not there, or fails a check: it is not removed"},
  {D::AreaDirUnnamed, "AreaDirUnnamed", P::SharedArea, S::Key,
   "the shared area names no directory that can be read (SharedFilesDir)"},
  {D::AreaKeyDeleted, "AreaKeyDeleted", P::SharedArea, S::Key,
   "no component is left: HKLM\\{subject} is deleted"},
  {D::AreaKeyKept, "AreaKeyKept", P::SharedArea, S::Key,
   "HKLM\\{subject} stays ({code})"},

  {D::CompanionAbsent, "CompanionAbsent", P::Companions, S::Library,
   "{subject} is not found: nothing is loaded"},
  {D::CompanionLoaded, "CompanionLoaded", P::Companions, S::Library,
   "{subject} is loaded and released; its entry is only looked up"},
  {D::CompanionCalled, "CompanionCalled", P::Companions, S::Library,
   "{subject} is called with \"/vrxreg\""},
  {D::CompanionEntryMissing, "CompanionEntryMissing", P::Companions, S::Library,
   "{subject} is loaded, but lacks the entry it is looked up for: nothing is called"},

  {D::HelpKeyAbsent, "HelpKeyAbsent", P::Component, S::Component,
   "the help registrations' key cannot be opened ({code}): no help registration of {subject} is removed"},

  {D::DirectoryNotListed, "DirectoryNotListed", P::Component, S::Entry,
   "cannot be listed ({code}): left alone with everything in it",
   "not there, or fails the checks through its handle: left alone with everything in it"},
  {D::HelpRegistrationKept, "HelpRegistrationKept", P::Component, S::Entry,
   "deleted, but its help registration stays ({code})"},
  {D::CountNotWritten, "CountNotWritten", P::Component, S::Component,
   "{subject} is held by another product, but its lower UseCount cannot be stored ({code}): left as it is"},
  {D::AreaUncounted, "AreaUncounted", P::SharedArea, S::Key,
   "the components of HKLM\\{subject} cannot be counted ({code}): the shared area stays"},
  {D::EntryUncarried, "EntryUncarried", P::Component, S::Entry,
   "its name cannot be carried exactly (it holds a lone surrogate): left alone with everything in it"},

  {D::RootHoldsArea, "RootHoldsArea", P::Component, S::Component,
   "the RootDir of {subject} holds the shared area {detail}: left as it is",
   "the RootDir of {subject} is the shared area's directory {detail}: left as it is"},
  {D::RootHoldsComponent, "RootHoldsComponent", P::Component, S::Component,
   "the RootDir of {subject} holds the component {detail}: left as it is",
   "the RootDir of {subject} is the directory of the component {detail}: left as it is"},
  {D::RootHoldsFolder, "RootHoldsFolder", P::Component, S::Component,
   "the RootDir of {subject} holds {detail}: left as it is",
   "the RootDir of {subject} is {detail}: left as it is"},
  {D::RootUnchecked, "RootUnchecked", P::Component, S::Component,
   "what the RootDir of {subject} holds cannot be told, {detail} cannot be read ({code}): left as it is"},
  {D::AreaDirIsFolder, "AreaDirIsFolder", P::SharedArea, S::Directory,
   "the shared area's directory {subject} is {detail}: it is not removed"},
  {D::RootBelowWindows, "RootBelowWindows", P::Component, S::Component,
   "the RootDir of {subject} lies below the Windows directory {detail}: left as it is",
   "the RootDir of {subject} is the Windows directory {detail}: left as it is"},
  {D::RootHoldsProgram, "RootHoldsProgram", P::Component, S::Component,
   "the RootDir of {subject} holds the installed program {detail}: left as it is",
   "the RootDir of {subject} is the directory of the installed program {detail}: left as it is"},
  {D::RootInProfile, "RootInProfile", P::Component, S::Component,
   "the RootDir of {subject} lies in {detail}: left as it is"},
  {D::RootNotLocal, "RootNotLocal", P::Component, S::Component,
   "the RootDir of {subject} is not on a local disk ({detail}): left as it is"},
  {D::EntryPassedOver, "EntryPassedOver", P::Component, S::Component,
   "{detail} names no directory that can be told ({code}): passed over",
   "{detail} names no directory that can be told: passed over"},

  {D::PlanFollowed, "PlanFollowed", P::Gate, S::Directory,
   "held to the reviewed plan {subject}: nothing it does not list is changed"},
  {D::PlanUnusable, "PlanUnusable", P::Gate, S::Directory,
   "the reviewed plan {subject} cannot be used ({detail}): nothing is changed"},
  {D::NotInPlan, "NotInPlan", P::Component, S::Entry,
   "not in the reviewed plan: left as it is"},
  {D::ChangedSincePlan, "ChangedSincePlan", P::Component, S::Entry,
   "changed since the reviewed plan: {detail}: left as it is"},
  {D::ComponentNotAsPlanned, "ComponentNotAsPlanned", P::Component, S::Component,
   "{subject} is not as the reviewed plan has it ({detail}): left as it is, its count, its key and its files"},
  {D::CompanionNotInPlan, "CompanionNotInPlan", P::Companions, S::Library,
   "{subject} is not called: the reviewed plan does not call it"},
};
// clang-format on

}  // namespace decision_rows

// Every decision, in the enum's order.
inline constexpr const auto& kDecisionRows = decision_rows::kRows;

namespace decisions_detail {
constexpr bool RowsFollowTheEnum() {
  size_t i = 0;
  for (const DecisionRow& row : kDecisionRows)
    if (static_cast<size_t>(row.decision) != i++) return false;
  return i == static_cast<size_t>(Decision::kCount);
}
}  // namespace decisions_detail
static_assert(decisions_detail::RowsFollowTheEnum(),
              "kDecisionRows needs one row per Decision, in the enum's order");

// The decision's row; every decision has one.
constexpr const DecisionRow& RowOf(Decision decision) {
  return kDecisionRows[static_cast<size_t>(decision)];
}

// The decision's sentence with its subject and numbers filled in:
// "UseCount 3 → 2, held by another product".
std::string DecisionSentence(Decision decision, const std::string& subject, int64_t first,
                             int64_t second, const std::string& detail = {});

// The code a step gives for a change the reviewed plan does not allow (a
// code of the application's own, bit 29 set, as Windows reserves them):
// the directory or key stays.
constexpr int64_t kCodeWithheld = 0x20000001;

// Whether `decision` keeps an item, a component or a call because the
// reviewed plan does not allow its change (PlanFollowed and PlanUnusable
// speak of the plan itself).
constexpr bool WithheldByPlan(Decision decision) {
  return decision == Decision::NotInPlan || decision == Decision::ChangedSincePlan ||
         decision == Decision::ComponentNotAsPlanned || decision == Decision::CompanionNotInPlan;
}

// A failed call's code as people read it: "in use by another program".
std::string CodeText(int64_t code);

}  // namespace qf
