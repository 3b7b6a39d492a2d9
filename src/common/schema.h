// The registry schema of a Quillforge 3.0 installation as the uninstall pass
// reads and writes it, and the other fixed texts the pass uses: key paths,
// value names, read capacities, the component table, the companion libraries
// and the messages.  Every fact is written here once; the library, its tools,
// tests and benchmarks name it from here (tests that check a text the user
// sees spell it out, as the check of this file).  All are compile-time
// constants, so they exist for as long as the library is loaded.  They are
// named as the product's documents name them, with no prefix.
#pragma once

#include <cstddef>

namespace qf {

namespace schema_detail {

constexpr size_t Length(const char* text) {
  size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

template <size_t N>
struct Text {
  char chars[N] = {};
};

template <const char*... Names>
struct Joined {
  static constexpr size_t kSize = (Length(Names) + ...) + sizeof...(Names);
  static constexpr Text<kSize> Make() {
    Text<kSize> text;
    size_t at = 0;
    const char* const names[] = {Names...};
    for (const char* name : names) {
      if (at > 0) text.chars[at++] = '\\';
      for (const char* c = name; *c != '\0'; ++c) text.chars[at++] = *c;
    }
    return text;
  }
  static constexpr Text<kSize> value = Make();
};

}  // namespace schema_detail

// The key path made of `Names` joined by backslashes, built by the compiler,
// so that each name is written once and every path below it is made of it.
template <const char*... Names>
inline constexpr const auto& KeyPath = schema_detail::Joined<Names...>::value.chars;

// ---- Key paths ------------------------------------------------------------

// Names of single keys.
inline constexpr char MakerKey[] = "Software\\Halvern";  // under HKEY_LOCAL_MACHINE
inline constexpr char ProductKeyName[] = "Quillforge";
inline constexpr char VersionKeyName[] = "3.0";
inline constexpr char UnInstInfoKeyName[] = "UnInstInfo";
inline constexpr char SharedKeyName[] = "Halvern Shared";
// Under HKEY_LOCAL_MACHINE: the system's help registrations.
inline constexpr char HelpRegistrationKey[] = "Software\\Microsoft\\Windows\\Help";
// Values of WindowsVersionKey (below) under HKEY_LOCAL_MACHINE, read in the
// 64-bit registry view (the only one on 32-bit Windows): where the system
// records the machine's own Program Files and Common Files, which a 32-bit
// process on 64-bit Windows is not given as known folders.
struct MachineFolder {
  const char* value;
  const char* name;  // how a reason names the folder
};
inline constexpr MachineFolder MachineFolders[] = {
    {"ProgramW6432Dir", "Program Files"},
    {"CommonW6432Dir", "Common Files"},
    {"ProgramFilesDir", "Program Files"},
    {"CommonFilesDir", "Common Files"},
    {"ProgramFilesDir (x86)", "Program Files (x86)"},
    {"CommonFilesDir (x86)", "Common Files (x86)"},
};
// MAX_PATH, as for the other directories read.
inline constexpr unsigned MachineFolderCapacity = 260;
// Under HKEY_USERS: the default user profile, writable only by administrators.
inline constexpr char DefaultUserKey[] = ".Default";

// The product's key: under HKEY_CURRENT_USER it holds the per-user settings
// tree VersionKeyName, under HKEY_LOCAL_MACHINE the installation's key.
inline constexpr const auto& ProductKey = KeyPath<MakerKey, ProductKeyName>;
// Under HKEY_LOCAL_MACHINE.
inline constexpr const auto& ProductVersionKey = KeyPath<MakerKey, ProductKeyName, VersionKeyName>;
inline constexpr const auto& UnInstInfoKey =
    KeyPath<MakerKey, ProductKeyName, VersionKeyName, UnInstInfoKeyName>;
inline constexpr const auto& SharedKey = KeyPath<MakerKey, SharedKeyName>;
// Under HKEY_CURRENT_USER: the per-user settings tree that the pass removes
// (the same text as ProductVersionKey, in the other hive).
inline constexpr const auto& UserSettingsKey = ProductVersionKey;
// Under HKEY_LOCAL_MACHINE: where an administrator's policies for the product
// are kept (written by policy tools, never by the installer).
inline constexpr char PolicyMakerKey[] = "Software\\Policies\\Halvern";
inline constexpr const auto& PolicyKey = KeyPath<PolicyMakerKey, ProductKeyName, VersionKeyName>;

// ---- Value names ----------------------------------------------------------

// Under ProductVersionKey.
inline constexpr char InstallAdmin[] = "InstallAdmin";      // the administrator marker
inline constexpr char InstallDir[] = "InstallDir";          // where the product's programs are
inline constexpr char UseSharedFiles[] = "UseSharedFiles";  // reads SharedFilesUsed when used
inline constexpr char SharedFilesUsed[] = "TRUE";           // compared byte for byte

// Under UnInstInfoKey: one flag per shared component.
inline constexpr char UseSharedData[] = "UseSharedData";
inline constexpr char UseSharedMSHelp[] = "UseSharedMSHelp";
inline constexpr char UseSharedImages[] = "UseSharedImages";

// Under SharedKey.
inline constexpr char SharedFilesDir[] = "SharedFilesDir";

// Under PolicyKey: the directory (an absolute path, REG_SZ, taken as stored
// and never expanded) in which each uninstall keeps a record of what it did.
inline constexpr char UninstallRecord[] = "UninstallRecord";
// Under PolicyKey: the file (an absolute path, REG_SZ, taken as stored) of a
// plan that qfpreview wrote and an administrator reviewed: the uninstall then
// changes nothing that plan does not list.
inline constexpr char UninstallPlan[] = "UninstallPlan";

// Under SharedKey\<component>.
inline constexpr char UseCount[] = "UseCount";
inline constexpr char RootDir[] = "RootDir";

// ---- Read capacities, terminator included: UTF-16 units for texts (REG_SZ,
// REG_EXPAND_SZ), bytes for values of any other type -----------------------

inline constexpr unsigned FlagCapacity = 10;  // flags, the marker and use counts
inline constexpr unsigned RootDirCapacity = 255;
inline constexpr unsigned InstallDirCapacity = 260;
inline constexpr unsigned SharedFilesDirCapacity = 260;
// MAX_PATH, as for SharedFilesDir: the directory is opened by its path, and
// a path longer than that is not opened by the system's ordinary path calls
// (no "\\?\" prefix is ever added), so a longer value could name nothing
// the record could be kept in.
inline constexpr unsigned UninstallRecordCapacity = 260;
// As for the record's directory: a plan is opened below its directory, and
// that directory by its path.
inline constexpr unsigned UninstallPlanCapacity = 260;

// ---- Shared components -----------------------------------------------------

// ---- Other programs' keys -------------------------------------------------
// Where the system lists the programs installed on it, in HKLM (in both
// registry views) and in HKCU: each names a directory that no component's
// root may be or hold.
inline constexpr char WindowsVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
inline constexpr char UninstallKeyName[] = "Uninstall";   // <entry>\InstallLocation, DisplayName
inline constexpr char AppPathsKeyName[] = "App Paths";    // <program>\(default), Path
inline constexpr char AppxKeyName[] = "Appx";             // PackageRoot
inline constexpr const auto& UninstallKey = KeyPath<WindowsVersionKey, UninstallKeyName>;
inline constexpr const auto& AppPathsKey = KeyPath<WindowsVersionKey, AppPathsKeyName>;
inline constexpr const auto& AppxKey = KeyPath<WindowsVersionKey, AppxKeyName>;
inline constexpr char InstallLocation[] = "InstallLocation";
// An entry without an InstallLocation is named by its icon's and its
// uninstaller's directories.
inline constexpr char DisplayIcon[] = "DisplayIcon";
inline constexpr char UninstallString[] = "UninstallString";
inline constexpr char DisplayName[] = "DisplayName";
inline constexpr char AppPathValue[] = "Path";
inline constexpr char PackageRoot[] = "PackageRoot";
// Every account's profile (one subkey per account, by its SID) and the
// profile new accounts are made from.
inline constexpr char ProfileListKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
inline constexpr char ProfileImagePath[] = "ProfileImagePath";
inline constexpr char DefaultProfile[] = "Default";
// What is read of them: a path as long as the system's paths, a name.
inline constexpr unsigned OtherPathCapacity = 32768;
inline constexpr unsigned DisplayNameCapacity = 260;

// Names of the components' keys below SharedKey.
inline constexpr char DataComponent[] = "Data";
inline constexpr char HelpComponent[] = "MSHelp";  // its files carry help registrations
inline constexpr char ImagesComponent[] = "Image Files";

struct ComponentFlag {
  const char* flag;       // value under UnInstInfoKey
  const char* component;  // key below SharedKey that the flag releases
};

// The installation's flags and the components they release, in the order the
// pass handles them.
inline constexpr ComponentFlag ComponentFlags[] = {
    {UseSharedData, DataComponent},
    {UseSharedMSHelp, HelpComponent},
    {UseSharedImages, ImagesComponent},
};
inline constexpr size_t ComponentCount = sizeof ComponentFlags / sizeof ComponentFlags[0];

// ---- Companion libraries ---------------------------------------------------

// Loaded and released; its entry is only looked up.
inline constexpr char FirstCompanion[] = "MX20UNIB.DLL";
inline constexpr char FirstCompanionEntry[] = "UNREGLIB";
// Its entry removes the registry entries of the VRX component set.
inline constexpr char SecondCompanion[] = "RWUNINST.DLL";
inline constexpr char VrxEntry[] = "UNINSTALLVRXREGISTRY";
inline constexpr char VrxSwitch[] = "/vrxreg";

// ---- Messages ---------------------------------------------------------------

// Shown, with an empty caption, when an administrator's installation is being
// removed from an account without administrator rights.
inline constexpr char AdminRequiredMessage[] =
    "Quillforge was installed by an administrator on this system.  You must "
    "run uninstall from an account with administrator rights.";
inline constexpr char AdminRequiredCaption[] = "";
// Caption of the box with the system's text for a failed rights probe.
inline constexpr char CheckAdminCaption[] = "CheckAdmin";

}  // namespace qf
