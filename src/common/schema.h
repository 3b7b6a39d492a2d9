// The registry schema of a Quillforge 3.0 installation as the uninstall pass
// reads and writes it, and the other fixed texts the pass uses: key paths,
// value names, read capacities, the component table, the companion libraries
// and the messages.  Every fact is written here once; the library, its tools,
// tests and benchmarks name it from here (tests that check a text the user
// sees spell it out, as the check of this file).  All are compile-time
// constants, so they exist for as long as the library is loaded.
#pragma once

#include <cstddef>

// The key paths as literals, for code that joins them to further names at
// compile time (tables of sample rows).  Code that needs a path at run time
// uses the constants below.
#define QF_MAKER_KEY "Software\\Halvern"
#define QF_SHARED_KEY_NAME "Halvern Shared"
#define QF_PRODUCT_KEY QF_MAKER_KEY "\\Quillforge"
#define QF_VERSION_KEY_NAME "3.0"
#define QF_PRODUCT_VERSION_KEY QF_PRODUCT_KEY "\\" QF_VERSION_KEY_NAME
#define QF_UNINST_INFO_KEY_NAME "UnInstInfo"
#define QF_SHARED_KEY QF_MAKER_KEY "\\" QF_SHARED_KEY_NAME
#define QF_HELP_REGISTRATION_KEY "Software\\Microsoft\\Windows\\Help"

namespace qf {

// ---- Key paths ------------------------------------------------------------

// Under HKEY_LOCAL_MACHINE.
inline constexpr char MakerKey[] = QF_MAKER_KEY;
inline constexpr char ProductVersionKey[] = QF_PRODUCT_VERSION_KEY;
inline constexpr char UnInstInfoKey[] = QF_PRODUCT_VERSION_KEY "\\" QF_UNINST_INFO_KEY_NAME;
inline constexpr char SharedKey[] = QF_SHARED_KEY;
inline constexpr char HelpRegistrationKey[] = QF_HELP_REGISTRATION_KEY;

// Under HKEY_CURRENT_USER.
inline constexpr char ProductKey[] = QF_PRODUCT_KEY;
// The per-user settings tree that the pass removes: VersionKeyName below
// ProductKey (the same text as ProductVersionKey, in the other hive).
inline constexpr char UserSettingsKey[] = QF_PRODUCT_KEY "\\" QF_VERSION_KEY_NAME;

// The name of SharedKey below MakerKey.
inline constexpr char SharedKeyName[] = QF_SHARED_KEY_NAME;
// The name of the version's key below ProductKey: the per-user tree that goes,
// and, below MakerKey's product key, ProductVersionKey.
inline constexpr char VersionKeyName[] = QF_VERSION_KEY_NAME;
// The name of UnInstInfoKey below ProductVersionKey.
inline constexpr char UnInstInfoKeyName[] = QF_UNINST_INFO_KEY_NAME;
// Under HKEY_USERS: the default user profile, writable only by administrators.
inline constexpr char DefaultUserKey[] = ".Default";

// ---- Value names ----------------------------------------------------------

// Under ProductVersionKey.
inline constexpr char kInstallAdmin[] = "InstallAdmin";      // the administrator marker
inline constexpr char kUseSharedFiles[] = "UseSharedFiles";  // reads kSharedFilesUsed when used
inline constexpr char kSharedFilesUsed[] = "TRUE";           // compared byte for byte

// Under UnInstInfoKey: one flag per shared component.
inline constexpr char kUseSharedData[] = "UseSharedData";
inline constexpr char kUseSharedMSHelp[] = "UseSharedMSHelp";
inline constexpr char kUseSharedImages[] = "UseSharedImages";

// Under SharedKey.
inline constexpr char kSharedFilesDir[] = "SharedFilesDir";

// Under SharedKey\<component>.
inline constexpr char kUseCount[] = "UseCount";
inline constexpr char kRootDir[] = "RootDir";

// ---- Read capacities, in bytes, terminator included ------------------------

inline constexpr unsigned kFlagCapacity = 10;  // flags, the marker and use counts
inline constexpr unsigned kRootDirCapacity = 255;
inline constexpr unsigned kSharedFilesDirCapacity = 260;

// ---- Shared components -----------------------------------------------------

// Names of the components' keys below SharedKey.
inline constexpr char kDataComponent[] = "Data";
inline constexpr char kHelpComponent[] = "MSHelp";  // its files carry help registrations
inline constexpr char kImagesComponent[] = "Image Files";

struct ComponentFlag {
  const char* flag;       // value under UnInstInfoKey
  const char* component;  // key below SharedKey that the flag releases
};

// The installation's flags and the components they release, in the order the
// pass handles them.
inline constexpr ComponentFlag kComponentFlags[] = {
    {kUseSharedData, kDataComponent},
    {kUseSharedMSHelp, kHelpComponent},
    {kUseSharedImages, kImagesComponent},
};
inline constexpr size_t kComponentCount = sizeof kComponentFlags / sizeof kComponentFlags[0];

// ---- Companion libraries ---------------------------------------------------

// Loaded and released; its entry is only looked up.
inline constexpr char kFirstCompanion[] = "MX20UNIB.DLL";
inline constexpr char kFirstCompanionEntry[] = "UNREGLIB";
// Its entry removes the registry entries of the VRX component set.
inline constexpr char kSecondCompanion[] = "RWUNINST.DLL";
inline constexpr char kVrxEntry[] = "UNINSTALLVRXREGISTRY";
inline constexpr char kVrxSwitch[] = "/vrxreg";

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
