// What the uninstall pass decided at each step, as it tells the platform
// layer's journal (see platform::Decide).  Windows keeps no record of them;
// the simulation journals them, so the preview reports the pass's own
// reasons instead of working them out again.
#pragma once

#include <cstdint>

namespace qf {

enum class Decision : uint32_t {
  // The administrator gate.
  GateNotMarked,      // no InstallAdmin: anyone may uninstall
  GateAdministrator,  // an administrator's installation, and this account may write .Default
  GateRefused,        // an administrator's installation, and it may not (first: the probe's code)

  // The per-user settings tree (subject: its path below HKCU).
  UserTreeAbsent,   // it cannot be opened (first: the code)
  UserTreeDeleted,  // it is gone with everything below it
  UserTreeKept,     // a key below it stayed, or its parent cannot be written

  // The installation's flags (subject: the flag or component).
  SharedFilesUnused,    // UseSharedFiles does not read "TRUE": no component is released
  FlagsAbsent,          // UnInstInfo cannot be opened
  ComponentNotFlagged,  // the component's flag cannot be read
  ComponentFlagged,     // the component is released

  // One shared component (subject: its name).
  ComponentAbsent,  // its record cannot be opened (first: the code)
  ComponentIsLink,  // its record is a registry link: left as it is
  CountAbsent,      // no UseCount that can be read: left as it is
  CountMisstored,   // a REG_DWORD count of another length than 4 bytes (first: the length)
  CountLowered,     // held by others: first is the count read, second the count written
  RootDirAbsent,    // the last holder, but no RootDir that can be read: left as it is
  RootUnsafe,       // RootDir is empty, relative, a root, or resolves differently again
  RootRefused,      // RootDir fails the checks through its handle (a link, reached through one,
                    // not a directory, cannot be opened: first is the code, 0 when it opened)
  RootMissing,      // nothing is at RootDir: only the record goes
  TreeRemoved,      // the root was emptied and removed
  TreeKept,         // the root stays: something in it stayed (first: the code)
  RecordDeleted,    // the record is gone
  RecordKept,       // the record stays (first: the code)

  // Entries of a tree (subject: the entry's path as listed below its parent).
  EntryChanged,     // not what the listing showed (a link, something swapped in): left alone
  EntryNotDeleted,  // could not be opened for deletion or deleted (first: the code)

  // The shared area (subject: SharedKey, or the directory).
  AreaAbsent,        // SharedKey cannot be opened
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

  // Steps that stop partway (added after the rest, so earlier numbers hold).
  DirectoryNotListed,    // an entry of a tree (subject: its path) cannot be listed, or the
                         // directory fails the checks (first: the code, 0 for a check): it
                         // stays with everything in it
  HelpKeyAbsent,         // the help registrations cannot be opened (first: the code): those
                         // of the files deleted stay (subject: the component)
  HelpRegistrationKept,  // a deleted file's registration stays (subject: the file's path;
                         // first: the code)
  CountNotWritten,       // held by others, but the lower count cannot be stored (first: the
                         // code): left as it is
  AreaUncounted,         // SharedKey's components cannot be counted (first: the code): the
                         // shared area stays
};

}  // namespace qf
