// qfsample: writes, shows and clears a sample Quillforge 3.0 installation in
// the registry and file system of the machine it runs on.
//
//   qfsample install <dir>            clears, then writes the installation of layout.h
//                                     with its shared files under <dir>
//   qfsample show <dir> [<path>...]   its state as sorted text, plus whether each <path> exists
//   qfsample clear <dir>              removes everything install wrote
//
// Every name goes through the wide calls, converted exactly from and to the
// UTF-8 of layout.h and of the command line (common/utf.h), so the sample is
// the same whatever the system's ANSI code page.  `show` prints names as
// UTF-8 and ends lines with LF only, so its output can be compared with
// expected text as it is.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "guards.h"
#include "layout.h"
#include "wide.h"

namespace qfsample {
namespace {

HKEY RootOf(Hive hive) { return hive == Hive::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

std::string Substitute(const char* text, const std::string& dir) {
  std::string result = text;
  const std::string marker = "{dir}";
  for (size_t at = result.find(marker); at != std::string::npos;
       at = result.find(marker, at + dir.size()))
    result.replace(at, marker.size(), dir);
  return result;
}

std::string Join(const std::string& parent, const std::string& name) {
  return parent.empty() ? name : parent + "\\" + name;
}

// UTF-8, as layout.h and the command line give it, as the system's UTF-16;
// what the system gives back is only shown, so a lone surrogate shows as
// U+FFFD.
using qf::tools::Wide;
std::string Utf8(std::wstring_view text) { return qf::tools::Utf8Shown(text); }
std::string Utf8(const wchar_t* text, size_t length) { return Utf8({text, length}); }

bool LessNoCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lx = static_cast<unsigned char>(x), ly = static_cast<unsigned char>(y);
        return std::tolower(lx) < std::tolower(ly);
      });
}

bool Fail(const std::string& what, DWORD code) {
  std::fprintf(stderr, "qfsample: %s: error %lu\n", what.c_str(), code);
  return false;
}

// ---------------------------------------------------------------- install

bool WriteRow(const RegistryRow& row, const std::string& dir) {
  const std::string key = Substitute(KeyOf(row).c_str(), dir);
  KeyGuard handle;
  LONG result = RegCreateKeyExW(RootOf(row.hive), Wide(key).c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, handle.Put(), nullptr);
  if (result != ERROR_SUCCESS) return Fail("create key " + key, result);
  if (row.type == Type::Key) return true;

  const std::wstring name = Wide(row.name);
  if (row.type == Type::Dword) {
    const DWORD value = std::strtoul(row.data, nullptr, 10);
    result = RegSetValueExW(handle.Get(), name.c_str(), 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&value), sizeof value);
  } else {
    const std::wstring text = Wide(Substitute(row.data, dir));
    result = RegSetValueExW(handle.Get(), name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  if (result != ERROR_SUCCESS) return Fail("write " + key + " " + row.name, result);
  return true;
}

// Creates `path` and every missing directory above it.
bool MakeDirectories(const std::string& path) {
  for (size_t at = path.find('\\', 3); ; at = path.find('\\', at + 1)) {
    const std::string prefix = path.substr(0, at);
    if (!CreateDirectoryW(Wide(prefix).c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS)
      return Fail("create directory " + prefix, GetLastError());
    if (at == std::string::npos) return true;
  }
}

bool WriteFileRow(const FileRow& row, const std::string& dir) {
  const std::string path = Join(dir, row.path);
  if (path.back() == '\\') return MakeDirectories(path.substr(0, path.size() - 1));
  if (!MakeDirectories(path.substr(0, path.rfind('\\')))) return false;
  {
    FileGuard file(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return Fail("create file " + path, GetLastError());
    const std::string content = row.content;
    DWORD written = 0;
    if (!WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written,
                   nullptr) ||
        written != content.size())
      return Fail("write file " + path, GetLastError());
  }
  if (row.readOnly && !SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_READONLY))
    return Fail("make read-only " + path, GetLastError());
  return true;
}

bool Clear(const std::string& dir);

bool Install(const std::string& dir) {
  // The uninstaller reads the two paths into fixed buffers; a sample that
  // did not fit would show nothing but a truncated read.
  const std::string longestRoot = dir + "\\Image Files";
  if (dir.size() + 1 > SharedFilesDirCapacity || longestRoot.size() + 1 > RootDirCapacity) {
    std::fprintf(stderr, "qfsample: directory too long for the uninstaller's buffers\n");
    return false;
  }
  if (!Clear(dir)) return false;
  for (const RegistryRow& row : kRegistry)
    if (!WriteRow(row, dir)) return false;
  if (!MakeDirectories(dir)) return false;
  for (const FileRow& row : kFiles)
    if (!WriteFileRow(row, dir)) return false;
  return true;
}

// ------------------------------------------------------------------- show

// A value's data as stored: texts as the UTF-16 they are, read wide.
std::string TypedData(DWORD type, const std::string& data) {
  char number[48];
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      std::wstring text(data.size() / sizeof(wchar_t), L'\0');
      std::copy(data.begin(), data.begin() + text.size() * sizeof(wchar_t),
                reinterpret_cast<char*>(&text[0]));
      const bool terminated = !text.empty() && text.back() == L'\0';
      if (terminated) text.pop_back();
      std::string shown = (type == REG_SZ ? "REG_SZ \"" : "REG_EXPAND_SZ \"");
      for (size_t at = 0;;) {
        const size_t nul = text.find(L'\0', at);
        shown += Utf8(text.substr(at, nul - at));
        if (nul == std::wstring::npos) break;
        shown += "\\0";
        at = nul + 1;
      }
      shown += '"';
      if (!terminated) shown += " (no terminator)";
      return shown;
    }
    case REG_DWORD:
      if (data.size() == 4) {
        DWORD value = 0;
        std::copy(data.begin(), data.end(), reinterpret_cast<char*>(&value));
        std::snprintf(number, sizeof number, "REG_DWORD %lu (0x%08lx)", value, value);
        return number;
      }
      break;
  }
  std::snprintf(number, sizeof number, "type %lu, %u bytes:", type,
                static_cast<unsigned>(data.size()));
  std::string shown = number;
  for (char c : data) {
    std::snprintf(number, sizeof number, " %02x", static_cast<unsigned char>(c));
    shown += number;
  }
  return shown;
}

// One line for each value, led by its key's name, so that every line of the
// output says on its own what it is about.
void ShowValues(HKEY key, const std::string& label) {
  DWORD count = 0, longestName = 0, longestData = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                       &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS)
    return;
  std::vector<std::pair<std::string, std::string>> values;
  for (DWORD index = 0; index < count; ++index) {
    std::wstring name(longestName + 1, L'\0');
    std::string data(longestData + 1, '\0');
    DWORD nameSize = static_cast<DWORD>(name.size()), dataSize = static_cast<DWORD>(data.size());
    DWORD type = 0;
    if (RegEnumValueW(key, index, &name[0], &nameSize, nullptr, &type,
                      reinterpret_cast<BYTE*>(&data[0]), &dataSize) != ERROR_SUCCESS)
      continue;
    name.resize(nameSize);
    data.resize(dataSize);
    values.emplace_back(Utf8(name), TypedData(type, data));
  }
  std::sort(values.begin(), values.end(),
            [](const auto& a, const auto& b) { return LessNoCase(a.first, b.first); });
  for (const auto& [name, data] : values)
    std::printf("%s %s = %s\n", label.c_str(), name.empty() ? "@" : name.c_str(), data.c_str());
}

std::vector<std::string> SubkeyNames(HKEY key) {
  std::vector<std::string> names;
  wchar_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD size = sizeof name / sizeof name[0];
    if (RegEnumKeyExW(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    names.push_back(Utf8(name, size));
  }
  std::sort(names.begin(), names.end(), LessNoCase);
  return names;
}

void ShowKeyTree(HKEY root, const char* rootName, const std::string& path) {
  KeyGuard key;
  if (RegOpenKeyExW(root, Wide(path).c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) {
    std::printf("[%s\\%s] (no key)\n", rootName, path.c_str());
    return;
  }
  const std::string label = "[" + std::string(rootName) + "\\" + path + "]";
  std::printf("%s\n", label.c_str());
  ShowValues(key.Get(), label);
  for (const std::string& name : SubkeyNames(key.Get()))
    ShowKeyTree(root, rootName, Join(path, name));
}

std::string Marks(DWORD attributes) {
  std::string marks = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? "l"
                      : (attributes & FILE_ATTRIBUTE_DIRECTORY)   ? "d"
                                                                  : "f";
  marks += (attributes & FILE_ATTRIBUTE_READONLY) ? 'r' : '-';
  marks += (attributes & FILE_ATTRIBUTE_HIDDEN) ? 'h' : '-';
  marks += (attributes & FILE_ATTRIBUTE_SYSTEM) ? 's' : '-';
  return marks;
}

// One entry of a directory: its name in UTF-8 and its attributes.
struct Entry {
  std::string name;
  DWORD attributes;
};

// The entries of `dir` ("." and ".." left out); false when it cannot be
// listed, with the listing's error left for GetLastError.
bool ListDirectory(const std::string& dir, std::vector<Entry>* entries) {
  WIN32_FIND_DATAW entry;
  FindGuard find(FindFirstFileW(Wide(Join(dir, "*")).c_str(), &entry));
  if (!find.Valid()) return false;
  do {
    const std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..")
      entries->push_back(Entry{Utf8(name), entry.dwFileAttributes});
  } while (FindNextFileW(find.Get(), &entry));
  return true;
}

// Lists `dir` depth first, each directory's entries in name order.  A link is
// listed but not entered.
void ShowFiles(const std::string& dir, const std::string& relative) {
  std::vector<Entry> entries;
  if (!ListDirectory(Join(dir, relative), &entries)) return;
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return LessNoCase(a.name, b.name); });
  for (const Entry& entry : entries) {
    const std::string path = Join(relative, entry.name);
    std::printf("%s %s\n", Marks(entry.attributes).c_str(), path.c_str());
    if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT))
      ShowFiles(dir, path);
  }
}

void ShowPath(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    std::printf("---- %s (missing)\n", path.c_str());
  else
    std::printf("%s %s\n", Marks(attributes).c_str(), path.c_str());
}

bool Show(const std::string& dir, const std::vector<std::string>& paths) {
  for (const ShownTree& tree : kShownTrees) ShowKeyTree(RootOf(tree.hive), tree.hiveName, tree.key);
  {
    KeyGuard help;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(kHelpKey).c_str(), 0, KEY_READ, help.Put()) ==
        ERROR_SUCCESS) {
      const std::string label = "[HKLM\\" + std::string(kHelpKey) + "]";
      std::printf("%s (values only)\n", label.c_str());
      ShowValues(help.Get(), label);
    } else {
      std::printf("[HKLM\\%s] (no key)\n", kHelpKey);
    }
  }
  std::printf("\nfiles under %s:\n", dir.c_str());
  if (GetFileAttributesW(Wide(dir).c_str()) == INVALID_FILE_ATTRIBUTES)
    std::printf("(missing)\n");
  else
    ShowFiles(dir, "");
  if (!paths.empty()) {
    std::printf("\npaths:\n");
    for (const std::string& path : paths) ShowPath(path);
  }
  return true;
}

// ------------------------------------------------------------------ clear

// Deletes `path` below `root` with all its subkeys.  A key that is not there
// counts as deleted.
bool DeleteKeyTree(HKEY root, const std::string& path) {
  {
    KeyGuard key;
    const LONG result = RegOpenKeyExW(root, Wide(path).c_str(), 0, KEY_ALL_ACCESS, key.Put());
    if (result == ERROR_FILE_NOT_FOUND) return true;
    if (result != ERROR_SUCCESS) return Fail("open key " + path, result);
    for (const std::string& name : SubkeyNames(key.Get()))
      if (!DeleteKeyTree(root, Join(path, name))) return false;
  }
  const LONG result = RegDeleteKeyW(root, Wide(path).c_str());
  if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
    return Fail("delete key " + path, result);
  return true;
}

// Deletes everything below `dir` and `dir` itself.  Read-only bits are
// cleared first; links are removed as links.
bool DeleteFileTree(const std::string& dir) {
  std::vector<Entry> entries;
  if (!ListDirectory(dir, &entries)) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
    return Fail("list " + dir, error);
  }
  for (const Entry& entry : entries) {
    const std::string path = Join(dir, entry.name);
    const std::wstring wide = Wide(path);
    if (entry.attributes & FILE_ATTRIBUTE_READONLY)
      SetFileAttributesW(wide.c_str(), entry.attributes & ~FILE_ATTRIBUTE_READONLY);
    const bool directory = entry.attributes & FILE_ATTRIBUTE_DIRECTORY;
    const bool link = entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT;
    if (directory && !link) {
      if (!DeleteFileTree(path)) return false;
    } else if (directory) {
      if (!RemoveDirectoryW(wide.c_str())) return Fail("remove link " + path, GetLastError());
    } else if (!DeleteFileW(wide.c_str())) {
      return Fail("delete " + path, GetLastError());
    }
  }
  if (!RemoveDirectoryW(Wide(dir).c_str())) return Fail("remove " + dir, GetLastError());
  return true;
}

bool Clear(const std::string& dir) {
  if (!DeleteKeyTree(HKEY_CURRENT_USER, qf::MakerKey) ||
      !DeleteKeyTree(HKEY_LOCAL_MACHINE, qf::MakerKey))
    return false;
  {
    KeyGuard help;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(kHelpKey).c_str(), 0, KEY_ALL_ACCESS,
                      help.Put()) == ERROR_SUCCESS) {
      for (const RegistryRow& row : kRegistry)
        if (KeyOf(row) == kHelpKey) RegDeleteValueW(help.Get(), Wide(row.name).c_str());
    }
  }
  return DeleteFileTree(dir);
}

int Usage() {
  std::fprintf(stderr,
               "usage: qfsample install <dir>\n"
               "       qfsample show <dir> [<path>...]\n"
               "       qfsample clear <dir>\n");
  return 2;
}

}  // namespace
}  // namespace qfsample

int main() {
  using namespace qfsample;
  _setmode(_fileno(stdout), _O_BINARY);
  SetConsoleOutputCP(CP_UTF8);
  // The arguments as given, exactly: the wide command line, in UTF-8.
  std::vector<std::string> argv;
  int argc = 0;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc)) {
    for (int i = 0; i < argc; ++i) argv.push_back(Utf8(wide[i], wcslen(wide[i])));
    LocalFree(wide);
  }
  if (argc < 3) return Usage();
  const std::string command = argv[1];
  std::string dir = argv[2];
  while (dir.size() > 3 && dir.back() == '\\') dir.pop_back();
  if (dir.size() <= 3 || dir[1] != ':' || dir[2] != '\\') {
    std::fprintf(stderr, "qfsample: <dir> must be a directory below a drive root, such as C:\\Shared\n");
    return 2;
  }
  bool ok = false;
  if (command == "install" && argc == 3)
    ok = Install(dir);
  else if (command == "show")
    ok = Show(dir, std::vector<std::string>(argv.begin() + 3, argv.end()));
  else if (command == "clear" && argc == 3)
    ok = Clear(dir);
  else
    return Usage();
  std::fflush(stdout);
  return ok ? 0 : 1;
}
