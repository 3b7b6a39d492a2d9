// The sample Quillforge 3.0 installation: every registry value and every file
// that `qfsample install <dir>` writes.  "{dir}" in a key path or a value's
// data stands for the shared files directory given on the command line.
// Names, paths and texts are UTF-8; qfsample writes them through the wide
// calls, so they arrive exactly whatever the system's ANSI code page.
//
// What the uninstall pass is expected to make of it:
// - the per-user tree Quillforge\3.0 goes; Quillforge and its 2.5 sibling stay;
// - "Data" is still held by another product: its count goes from 2 to 1;
// - "MSHelp" (count "1") and "Image Files" (count REG_DWORD 1) are released:
//   their files, directories and keys go, except the read-only help file,
//   which stays with its directories and its help registration;
// - OtherApp.hlp belongs to another product and keeps its registration.
#pragma once

#include <string>

#include "common/schema.h"

namespace qfsample {

enum class Hive { User, Machine };
enum class Type { Key, Text, Dword };  // Key: the key alone, without a value

struct RegistryRow {
  Hive hive;
  const char* key;    // a key of the schema
  const char* below;  // a path below it, or nullptr for the key itself
  const char* name;
  Type type;
  const char* data;  // a REG_DWORD's number in decimal
};

// The row's key path.
inline std::string KeyOf(const RegistryRow& row) {
  return row.below ? std::string(row.key) + "\\" + row.below : std::string(row.key);
}

constexpr Hive HKCU = Hive::User;
constexpr Hive HKLM = Hive::Machine;
constexpr Type Key = Type::Key;
constexpr Type Sz = Type::Text;
constexpr Type Dword = Type::Dword;

using qf::DataComponent;
using qf::HelpComponent;
using qf::ImagesComponent;
constexpr const char* kProduct = qf::ProductKey;
constexpr const char* kVersion = qf::ProductVersionKey;  // the per-user tree, and the machine's version key
constexpr const char* kUnInstInfo = qf::UnInstInfoKey;
constexpr const char* kShared = qf::SharedKey;
constexpr const char* kHelp = qf::HelpRegistrationKey;

// clang-format off
inline constexpr RegistryRow kRegistry[] = {
  // hive key          below                              value                  type   data
  {HKCU, kProduct,     "2.5",                             "InstallDir",          Sz,    "C:\\Program Files\\Halvern\\Quillforge 2.5"},
  {HKCU, kProduct,     "2.5\\Preferences",                "AutoSave",            Dword, "0"},
  {HKCU, kVersion,     nullptr,                           "LastDocument",        Sz,    "C:\\UserDocs\\letter.qfd"},
  {HKCU, kVersion,     "Preferences",                     "AutoSave",            Dword, "1"},
  {HKCU, kVersion,     "Preferences\\Editor",             "Font",                Sz,    "Tahoma"},
  {HKCU, kVersion,     "Preferences\\Editor\\Colors",     "Background",          Dword, "16777215"},
  {HKCU, kVersion,     "Preferences\\Editor\\Colors",     "Text",                Dword, "0"},
  {HKCU, kVersion,     "Recent Files",                    "File1",               Sz,    "C:\\UserDocs\\letter.qfd"},
  {HKCU, kVersion,     "Recent Files",                    "File2",               Sz,    "C:\\UserDocs\\notes.qfd"},
  {HKCU, kVersion,     "Toolbars\\Standard\\Buttons",     "Order",               Sz,    "New,Open,Save,Print"},
  {HKCU, kVersion,     "Toolbars\\Empty",                 nullptr,               Key,   nullptr},

  {HKLM, kVersion,     nullptr,                           qf::UseSharedFiles,    Sz,    qf::SharedFilesUsed},
  {HKLM, kVersion,     nullptr,                           qf::InstallAdmin,      Sz,    "1"},
  {HKLM, kVersion,     nullptr,                           "InstallDir",          Sz,    "C:\\Program Files\\Halvern\\Quillforge"},
  {HKLM, kUnInstInfo,  nullptr,                           qf::UseSharedData,     Sz,    "1"},
  {HKLM, kUnInstInfo,  nullptr,                           qf::UseSharedMSHelp,   Sz,    "0"},  // set all the same: only its presence counts
  {HKLM, kUnInstInfo,  nullptr,                           qf::UseSharedImages,   Dword, "1"},
  {HKLM, kShared,      nullptr,                           qf::SharedFilesDir,    Sz,    "{dir}"},
  {HKLM, kShared,      DataComponent,                     qf::UseCount,          Sz,    "2"},
  {HKLM, kShared,      DataComponent,                     qf::RootDir,           Sz,    "{dir}\\Data"},
  {HKLM, kShared,      HelpComponent,                     qf::UseCount,          Sz,    "1"},
  {HKLM, kShared,      HelpComponent,                     qf::RootDir,           Sz,    "{dir}\\MSHelp"},
  {HKLM, kShared,      ImagesComponent,                   qf::UseCount,          Dword, "1"},
  {HKLM, kShared,      ImagesComponent,                   qf::RootDir,           Sz,    "{dir}\\Image Files"},
  {HKLM, kHelp,        nullptr,                           "qfguide.hlp",         Sz,    "{dir}\\MSHelp"},
  {HKLM, kHelp,        nullptr,                           "qfguide.cnt",         Sz,    "{dir}\\MSHelp"},
  {HKLM, kHelp,        nullptr,                           "qfref.hlp",           Sz,    "{dir}\\MSHelp\\Reference"},
  {HKLM, kHelp,        nullptr,                           "qfold.hlp",           Sz,    "{dir}\\MSHelp\\Reference\\Legacy"},
  {HKLM, kHelp,        nullptr,                           "OtherApp.hlp",        Sz,    "C:\\Program Files\\OtherApp"},
};
// clang-format on

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
  {"MSHelp\\Reference\\Caf\xC3\xA9 Notes.txt",         false,     "notes\r\n"},
  {"MSHelp\\Reference\\Legacy\\qfold.hlp",             true,      "old reference\r\n"},
  {"Image Files\\Clip Art\\Animals\\owl.bmp",          false,     "BM owl\r\n"},
  {"Image Files\\Clip Art\\Animals\\Birds\\heron.bmp", false,     "BM heron\r\n"},
  {"Image Files\\Backgrounds\\paper.bmp",              false,     "BM paper\r\n"},
  {"Image Files\\Borders\\",                           false,     nullptr},
};
// clang-format on

// Longest data, terminator included, that the uninstaller reads from the two
// path values.
using qf::RootDirCapacity;
using qf::SharedFilesDirCapacity;

}  // namespace qfsample
