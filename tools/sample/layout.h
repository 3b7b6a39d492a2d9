// The sample Quillforge 3.0 installation: every registry value and every file
// that `qfsample install <dir>` writes.  "{dir}" in a key path or a value's
// data stands for the shared files directory given on the command line.
//
// What the uninstall pass is expected to make of it:
// - the per-user tree Quillforge\3.0 goes; Quillforge and its 2.5 sibling stay;
// - "Data" is still held by another product: its count goes from 2 to 1;
// - "MSHelp" (count "1") and "Image Files" (count REG_DWORD 1) are released:
//   their files, directories and keys go, except the read-only help file,
//   which stays with its directories and its help registration;
// - OtherApp.hlp belongs to another product and keeps its registration.
#pragma once

#include "common/schema.h"

namespace qfsample {

enum class Hive { User, Machine };
enum class Type { Key, Text, Dword };  // Key: the key alone, without a value

struct RegistryRow {
  Hive hive;
  const char* key;
  const char* name;
  Type type;
  const char* data;  // a REG_DWORD's number in decimal
};

constexpr Hive HKCU = Hive::User;
constexpr Hive HKLM = Hive::Machine;
constexpr Type Key = Type::Key;
constexpr Type Sz = Type::Text;
constexpr Type Dword = Type::Dword;

#define QF_PRODUCT QF_PRODUCT_KEY
#define QF_VERSION QF_PRODUCT_VERSION_KEY  // the per-user tree, and the machine's version key
#define QF_UNINST_INFO QF_PRODUCT_VERSION_KEY "\\" QF_UNINST_INFO_KEY_NAME
#define QF_SHARED QF_SHARED_KEY
#define QF_HELP QF_HELP_REGISTRATION_KEY

// clang-format off
inline constexpr RegistryRow kRegistry[] = {
  // hive key                                      value                  type   data
  {HKCU, QF_PRODUCT "\\2.5",                      "InstallDir",          Sz,    "C:\\Program Files\\Halvern\\Quillforge 2.5"},
  {HKCU, QF_PRODUCT "\\2.5\\Preferences",         "AutoSave",            Dword, "0"},
  {HKCU, QF_VERSION,                              "LastDocument",        Sz,    "C:\\UserDocs\\letter.qfd"},
  {HKCU, QF_VERSION "\\Preferences",              "AutoSave",            Dword, "1"},
  {HKCU, QF_VERSION "\\Preferences\\Editor",      "Font",                Sz,    "Tahoma"},
  {HKCU, QF_VERSION "\\Preferences\\Editor\\Colors", "Background",          Dword, "16777215"},
  {HKCU, QF_VERSION "\\Preferences\\Editor\\Colors", "Text",                Dword, "0"},
  {HKCU, QF_VERSION "\\Recent Files",             "File1",               Sz,    "C:\\UserDocs\\letter.qfd"},
  {HKCU, QF_VERSION "\\Recent Files",             "File2",               Sz,    "C:\\UserDocs\\notes.qfd"},
  {HKCU, QF_VERSION "\\Toolbars\\Standard\\Buttons", "Order",               Sz,    "New,Open,Save,Print"},
  {HKCU, QF_VERSION "\\Toolbars\\Empty",          nullptr,               Key,   nullptr},

  {HKLM, QF_VERSION,                              qf::kUseSharedFiles,   Sz,    qf::kSharedFilesUsed},
  {HKLM, QF_VERSION,                              qf::kInstallAdmin,     Sz,    "1"},
  {HKLM, QF_VERSION,                              "InstallDir",          Sz,    "C:\\Program Files\\Halvern\\Quillforge"},
  {HKLM, QF_UNINST_INFO,                          qf::kUseSharedData,    Sz,    "1"},
  {HKLM, QF_UNINST_INFO,                          qf::kUseSharedMSHelp,  Sz,    "0"},  // set all the same: only its presence counts
  {HKLM, QF_UNINST_INFO,                          qf::kUseSharedImages,  Dword, "1"},
  {HKLM, QF_SHARED,                               qf::kSharedFilesDir,   Sz,    "{dir}"},
  {HKLM, QF_SHARED "\\Data",                      qf::kUseCount,         Sz,    "2"},
  {HKLM, QF_SHARED "\\Data",                      qf::kRootDir,          Sz,    "{dir}\\Data"},
  {HKLM, QF_SHARED "\\MSHelp",                    qf::kUseCount,         Sz,    "1"},
  {HKLM, QF_SHARED "\\MSHelp",                    qf::kRootDir,          Sz,    "{dir}\\MSHelp"},
  {HKLM, QF_SHARED "\\Image Files",               qf::kUseCount,         Dword, "1"},
  {HKLM, QF_SHARED "\\Image Files",               qf::kRootDir,          Sz,    "{dir}\\Image Files"},
  {HKLM, QF_HELP,                                 "qfguide.hlp",         Sz,    "{dir}\\MSHelp"},
  {HKLM, QF_HELP,                                 "qfguide.cnt",         Sz,    "{dir}\\MSHelp"},
  {HKLM, QF_HELP,                                 "qfref.hlp",           Sz,    "{dir}\\MSHelp\\Reference"},
  {HKLM, QF_HELP,                                 "qfold.hlp",           Sz,    "{dir}\\MSHelp\\Reference\\Legacy"},
  {HKLM, QF_HELP,                                 "OtherApp.hlp",        Sz,    "C:\\Program Files\\OtherApp"},
};
// clang-format on

#undef QF_PRODUCT
#undef QF_VERSION
#undef QF_UNINST_INFO
#undef QF_SHARED
#undef QF_HELP

// The keys `qfsample show` lists with everything below them, and the key whose
// values alone it lists.
struct ShownTree {
  Hive hive;
  const char* hiveName;
  const char* key;
};
inline constexpr ShownTree kShownTrees[] = {
    {HKCU, "HKCU", qf::MakerKey},
    {HKLM, "HKLM", qf::MakerKey},
};
inline constexpr const char* kHelpKey = qf::HelpRegistrationKey;

struct FileRow {
  const char* path;  // below {dir}; a trailing backslash makes a directory
  bool readOnly;
  const char* content;
};

// clang-format off
inline constexpr FileRow kFiles[] = {
  // path                                              read-only  content
  {"Data\\Dictionaries\\English\\en-US.dic",           false,     "colour color\r\n"},
  {"Data\\Dictionaries\\English\\en-GB.dic",           false,     "colour\r\n"},
  {"Data\\Templates\\Letters\\formal.qft",             false,     "Dear Sir or Madam,\r\n"},
  {"Data\\Templates\\readme.txt",                      false,     "Templates shared by Halvern products.\r\n"},
  {"MSHelp\\qfguide.hlp",                              false,     "guide\r\n"},
  {"MSHelp\\qfguide.cnt",                              false,     ":Base qfguide.hlp\r\n"},
  {"MSHelp\\Reference\\qfref.hlp",                     false,     "reference\r\n"},
  {"MSHelp\\Reference\\Caf\xE9 Notes.txt",             false,     "notes\r\n"},
  {"MSHelp\\Reference\\Legacy\\qfold.hlp",             true,      "old reference\r\n"},
  {"Image Files\\Clip Art\\Animals\\owl.bmp",          false,     "BM owl\r\n"},
  {"Image Files\\Clip Art\\Animals\\Birds\\heron.bmp", false,     "BM heron\r\n"},
  {"Image Files\\Backgrounds\\paper.bmp",              false,     "BM paper\r\n"},
  {"Image Files\\Borders\\",                           false,     nullptr},
};
// clang-format on

// Longest data, terminator included, that the uninstaller reads from the two
// path values.
using qf::kRootDirCapacity;
using qf::kSharedFilesDirCapacity;

}  // namespace qfsample
