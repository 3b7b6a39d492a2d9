// qfsample: writes, shows and clears a sample Quillforge 3.0 installation in
// the registry and file system of the machine it runs on.
//
//   qfsample install <dir>            clears, then writes the installation of layout.h
//                                     with its shared files under <dir>
//   qfsample show <dir> [<path>...]   its state as sorted text, plus whether each <path> exists
//   qfsample clear <dir>              removes everything install wrote
//
// `show` prints names as UTF-8 and ends lines with LF only, so its output can
// be compared with expected text as it is.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "guards.h"
#include "layout.h"

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

// Text in the ANSI code page, as the A functions hand it out, in UTF-8.
std::string Utf8(const std::string& ansi) {
  if (ansi.empty()) return ansi;
  const int wide = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                       nullptr, 0);
  std::wstring buffer(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &buffer[0], wide);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, buffer.data(), wide, nullptr, 0,
                                        nullptr, nullptr);
  std::string result(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, buffer.data(), wide, &result[0], bytes, nullptr, nullptr);
  return result;
}

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
  LONG result = RegCreateKeyExA(RootOf(row.hive), key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, handle.Put(), nullptr);
  if (result != ERROR_SUCCESS) return Fail("create key " + key, result);
  if (row.type == Type::Key) return true;

  if (row.type == Type::Dword) {
    const DWORD value = std::strtoul(row.data, nullptr, 10);
    result = RegSetValueExA(handle.Get(), row.name, 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&value), sizeof value);
  } else {
    const std::string text = Substitute(row.data, dir);
    result = RegSetValueExA(handle.Get(), row.name, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>(text.size() + 1));
  }
  if (result != ERROR_SUCCESS) return Fail("write " + key + " " + row.name, result);
  return true;
}

// Creates `path` and every missing directory above it.
bool MakeDirectories(const std::string& path) {
  for (size_t at = path.find('\\', 3); ; at = path.find('\\', at + 1)) {
    const std::string prefix = path.substr(0, at);
    if (!CreateDirectoryA(prefix.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
      return Fail("create directory " + prefix, GetLastError());
    if (at == std::string::npos) return true;
  }
}

bool WriteFileRow(const FileRow& row, const std::string& dir) {
  const std::string path = Join(dir, row.path);
  if (path.back() == '\\') return MakeDirectories(path.substr(0, path.size() - 1));
  if (!MakeDirectories(path.substr(0, path.rfind('\\')))) return false;
  {
    FileGuard file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return Fail("create file " + path, GetLastError());
    const std::string content = row.content;
    DWORD written = 0;
    if (!WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written,
                   nullptr) ||
        written != content.size())
      return Fail("write file " + path, GetLastError());
  }
  if (row.readOnly && !SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY))
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

std::string TypedData(DWORD type, const std::string& data) {
  char number[48];
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      std::string text = data;
      if (!text.empty() && text.back() == '\0') text.pop_back();
      std::string shown = (type == REG_SZ ? "REG_SZ \"" : "REG_EXPAND_SZ \"");
      for (char c : text) shown += c == '\0' ? std::string("\\0") : std::string(1, c);
      shown += '"';
      if (data.empty() || data.back() != '\0') shown += " (no terminator)";
      return Utf8(shown);
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
  if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                       &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS)
    return;
  std::vector<std::pair<std::string, std::string>> values;
  for (DWORD index = 0; index < count; ++index) {
    std::string name(longestName + 1, '\0');
    std::string data(longestData + 1, '\0');
    DWORD nameSize = static_cast<DWORD>(name.size()), dataSize = static_cast<DWORD>(data.size());
    DWORD type = 0;
    if (RegEnumValueA(key, index, &name[0], &nameSize, nullptr, &type,
                      reinterpret_cast<BYTE*>(&data[0]), &dataSize) != ERROR_SUCCESS)
      continue;
    name.resize(nameSize);
    data.resize(dataSize);
    values.emplace_back(name, TypedData(type, data));
  }
  std::sort(values.begin(), values.end(),
            [](const auto& a, const auto& b) { return LessNoCase(a.first, b.first); });
  for (const auto& [name, data] : values)
    std::printf("%s %s = %s\n", label.c_str(), name.empty() ? "@" : Utf8(name).c_str(),
                data.c_str());
}

std::vector<std::string> SubkeyNames(HKEY key) {
  std::vector<std::string> names;
  char name[256];
  for (DWORD index = 0;; ++index) {
    DWORD size = sizeof name;
    if (RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    names.emplace_back(name, size);
  }
  std::sort(names.begin(), names.end(), LessNoCase);
  return names;
}

void ShowKeyTree(HKEY root, const char* rootName, const std::string& path) {
  KeyGuard key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) {
    std::printf("[%s\\%s] (no key)\n", rootName, Utf8(path).c_str());
    return;
  }
  const std::string label = "[" + std::string(rootName) + "\\" + Utf8(path) + "]";
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

// Lists `dir` depth first, each directory's entries in name order.  A link is
// listed but not entered.
void ShowFiles(const std::string& dir, const std::string& relative) {
  std::vector<WIN32_FIND_DATAA> entries;
  {
    WIN32_FIND_DATAA entry;
    FindGuard find(FindFirstFileA(Join(Join(dir, relative), "*").c_str(), &entry));
    if (!find.Valid()) return;
    do {
      const std::string name = entry.cFileName;
      if (name != "." && name != "..") entries.push_back(entry);
    } while (FindNextFileA(find.Get(), &entry));
  }
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return LessNoCase(a.cFileName, b.cFileName);
  });
  for (const WIN32_FIND_DATAA& entry : entries) {
    const std::string path = Join(relative, entry.cFileName);
    std::printf("%s %s\n", Marks(entry.dwFileAttributes).c_str(), Utf8(path).c_str());
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
      ShowFiles(dir, path);
  }
}

void ShowPath(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    std::printf("---- %s (missing)\n", Utf8(path).c_str());
  else
    std::printf("%s %s\n", Marks(attributes).c_str(), Utf8(path).c_str());
}

bool Show(const std::string& dir, const std::vector<std::string>& paths) {
  for (const ShownTree& tree : kShownTrees) ShowKeyTree(RootOf(tree.hive), tree.hiveName, tree.key);
  {
    KeyGuard help;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kHelpKey, 0, KEY_READ, help.Put()) == ERROR_SUCCESS) {
      const std::string label = "[HKLM\\" + std::string(kHelpKey) + "]";
      std::printf("%s (values only)\n", label.c_str());
      ShowValues(help.Get(), label);
    } else {
      std::printf("[HKLM\\%s] (no key)\n", kHelpKey);
    }
  }
  std::printf("\nfiles under %s:\n", Utf8(dir).c_str());
  if (GetFileAttributesA(dir.c_str()) == INVALID_FILE_ATTRIBUTES)
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
    const LONG result = RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, key.Put());
    if (result == ERROR_FILE_NOT_FOUND) return true;
    if (result != ERROR_SUCCESS) return Fail("open key " + path, result);
    for (const std::string& name : SubkeyNames(key.Get()))
      if (!DeleteKeyTree(root, Join(path, name))) return false;
  }
  const LONG result = RegDeleteKeyA(root, path.c_str());
  if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
    return Fail("delete key " + path, result);
  return true;
}

// Deletes everything below `dir` and `dir` itself.  Read-only bits are
// cleared first; links are removed as links.
bool DeleteFileTree(const std::string& dir) {
  std::vector<WIN32_FIND_DATAA> entries;
  {
    WIN32_FIND_DATAA entry;
    FindGuard find(FindFirstFileA(Join(dir, "*").c_str(), &entry));
    if (!find.Valid()) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
      return Fail("list " + dir, error);
    }
    do {
      const std::string name = entry.cFileName;
      if (name != "." && name != "..") entries.push_back(entry);
    } while (FindNextFileA(find.Get(), &entry));
  }
  for (const WIN32_FIND_DATAA& entry : entries) {
    const std::string path = Join(dir, entry.cFileName);
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
      SetFileAttributesA(path.c_str(), entry.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
    const bool directory = entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    const bool link = entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
    if (directory && !link) {
      if (!DeleteFileTree(path)) return false;
    } else if (directory) {
      if (!RemoveDirectoryA(path.c_str())) return Fail("remove link " + path, GetLastError());
    } else if (!DeleteFileA(path.c_str())) {
      return Fail("delete " + path, GetLastError());
    }
  }
  if (!RemoveDirectoryA(dir.c_str())) return Fail("remove " + dir, GetLastError());
  return true;
}

bool Clear(const std::string& dir) {
  if (!DeleteKeyTree(HKEY_CURRENT_USER, qf::MakerKey) ||
      !DeleteKeyTree(HKEY_LOCAL_MACHINE, qf::MakerKey))
    return false;
  {
    KeyGuard help;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kHelpKey, 0, KEY_ALL_ACCESS, help.Put()) ==
        ERROR_SUCCESS) {
      for (const RegistryRow& row : kRegistry)
        if (KeyOf(row) == kHelpKey) RegDeleteValueA(help.Get(), row.name);
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

int main(int argc, char** argv) {
  using namespace qfsample;
  _setmode(_fileno(stdout), _O_BINARY);
  SetConsoleOutputCP(CP_UTF8);
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
    ok = Show(dir, std::vector<std::string>(argv + 3, argv + argc));
  else if (command == "clear" && argc == 3)
    ok = Clear(dir);
  else
    return Usage();
  std::fflush(stdout);
  return ok ? 0 : 1;
}
