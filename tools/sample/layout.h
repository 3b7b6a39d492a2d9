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

#define QF_PRODUCT "Software\\Halvern\\Quillforge"
#define QF_SHARED "Software\\Halvern\\Halvern Shared"
#define QF_HELP "Software\\Microsoft\\Windows\\Help"

// clang-format off
inline constexpr RegistryRow kRegistry[] = {
  // hive  key                                   value              type   data
  {HKCU, QF_PRODUCT "\\2.5",                     "InstallDir",      Sz,    "C:\\Program Files\\Halvern\\Quillforge 2.5"},
  {HKCU, QF_PRODUCT "\\2.5\\Preferences",        "AutoSave",        Dword, "0"},
  {HKCU, QF_PRODUCT "\\3.0",                     "LastDocument",    Sz,    "C:\\UserDocs\\letter.qfd"},
  {HKCU, QF_PRODUCT "\\3.0\\Preferences",        "AutoSave",        Dword, "1"},
  {HKCU, QF_PRODUCT "\\3.0\\Preferences\\Editor", "Font",           Sz,    "Tahoma"},
  {HKCU, QF_PRODUCT "\\3.0\\Preferences\\Editor\\Colors", "Background", Dword, "16777215"},
  {HKCU, QF_PRODUCT "\\3.0\\Preferences\\Editor\\Colors", "Text",   Dword, "0"},
  {HKCU, QF_PRODUCT "\\3.0\\Recent Files",       "File1",           Sz,    "C:\\UserDocs\\letter.qfd"},
  {HKCU, QF_PRODUCT "\\3.0\\Recent Files",       "File2",           Sz,    "C:\\UserDocs\\notes.qfd"},
  {HKCU, QF_PRODUCT "\\3.0\\Toolbars\\Standard\\Buttons", "Order", Sz,    "New,Open,Save,Print"},
  {HKCU, QF_PRODUCT "\\3.0\\Toolbars\\Empty",    nullptr,           Key,   nullptr},

  {HKLM, QF_PRODUCT "\\3.0",                     "UseSharedFiles",  Sz,    "TRUE"},
  {HKLM, QF_PRODUCT "\\3.0",                     "InstallAdmin",    Sz,    "1"},
  {HKLM, QF_PRODUCT "\\3.0",                     "InstallDir",      Sz,    "C:\\Program Files\\Halvern\\Quillforge"},
  {HKLM, QF_PRODUCT "\\3.0\\UnInstInfo",         "UseSharedData",   Sz,    "1"},
  {HKLM, QF_PRODUCT "\\3.0\\UnInstInfo",         "UseSharedMSHelp", Sz,    "0"},  // set all the same: only its presence counts
  {HKLM, QF_PRODUCT "\\3.0\\UnInstInfo",         "UseSharedImages", Dword, "1"},
  {HKLM, QF_SHARED,                              "SharedFilesDir",  Sz,    "{dir}"},
  {HKLM, QF_SHARED "\\Data",                     "UseCount",        Sz,    "2"},
  {HKLM, QF_SHARED "\\Data",                     "RootDir",         Sz,    "{dir}\\Data"},
  {HKLM, QF_SHARED "\\MSHelp",                   "UseCount",        Sz,    "1"},
  {HKLM, QF_SHARED "\\MSHelp",                   "RootDir",         Sz,    "{dir}\\MSHelp"},
  {HKLM, QF_SHARED "\\Image Files",              "UseCount",        Dword, "1"},
  {HKLM, QF_SHARED "\\Image Files",              "RootDir",         Sz,    "{dir}\\Image Files"},
  {HKLM, QF_HELP,                                "qfguide.hlp",     Sz,    "{dir}\\MSHelp"},
  {HKLM, QF_HELP,                                "qfguide.cnt",     Sz,    "{dir}\\MSHelp"},
  {HKLM, QF_HELP,                                "qfref.hlp",       Sz,    "{dir}\\MSHelp\\Reference"},
  {HKLM, QF_HELP,                                "qfold.hlp",       Sz,    "{dir}\\MSHelp\\Reference\\Legacy"},
  {HKLM, QF_HELP,                                "OtherApp.hlp",    Sz,    "C:\\Program Files\\OtherApp"},
};
// clang-format on

#undef QF_PRODUCT
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
    {HKCU, "HKCU", "Software\\Halvern"},
    {HKLM, "HKLM", "Software\\Halvern"},
};
inline constexpr char kHelpKey[] = "Software\\Microsoft\\Windows\\Help";

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
constexpr unsigned kRootDirCapacity = 255;
constexpr unsigned kSharedFilesDirCapacity = 260;

}  // namespace qfsample
