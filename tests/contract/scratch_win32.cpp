// Scratch areas over the raw Win32 API: a key under
// HKCU\Software\QuillforgeContractTest and a directory under the temp dir.
// Names and texts are UTF-8 and made exactly through the wide calls, so that
// cases can name things the ANSI code page lacks.
#include <windows.h>

#include <stdexcept>
#include <vector>

#include "../key_links_win32.h"
#include "common/utf.h"
#include "scratch.h"

namespace qf::contract {
namespace {

// Owners of the fixture's own handles, one line per kind.
using Key = platform::UniqueAny<HKEY, &::RegCloseKey>;
using File = platform::UniqueAny<HANDLE, &::CloseHandle, -1>;
using Find = platform::UniqueAny<HANDLE, &::FindClose, -1>;

constexpr char kKeyBase[] = "Software\\QuillforgeContractTest";
constexpr char kDirBase[] = "QuillforgeContractTest";

[[noreturn]] void Fail(const std::string& what, DWORD code) {
  throw std::runtime_error(what + " failed with " + std::to_string(code));
}

std::wstring W(const std::string& utf8) {
  std::u16string units;
  if (!ToUtf16(utf8, &units)) throw std::runtime_error("no UTF-8: " + utf8);
  return std::wstring(units.begin(), units.end());
}

std::string U8(const wchar_t* text, size_t length) {
  std::string utf8;
  if (!ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), length), &utf8))
    throw std::runtime_error("a name that is no UTF-16");
  return utf8;
}

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// ---- Unix links under Wine.
// Wine 8's CreateSymbolicLink is a stub that reports success and makes
// nothing, but Wine shows a unix symlink to a directory as a directory link
// (directory bit and reparse point).  Such links are made, and removed again,
// with the kernel's own calls on the unix paths.

using UnixFileName = char*(__cdecl*)(const wchar_t*);

UnixFileName WineUnixFileName() {
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel == nullptr ? nullptr
                           : reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
                                 GetProcAddress(kernel, "wine_get_unix_file_name")));
}

bool UnderWine() { return WineUnixFileName() != nullptr; }

std::string UnixPath(const std::string& path) {
  const UnixFileName convert = WineUnixFileName();
  if (convert == nullptr) return "";
  char* unix = convert(W(path).c_str());
  if (unix == nullptr) return "";
  std::string result(unix);
  HeapFree(GetProcessHeap(), 0, unix);
  return result;
}

#if defined(__i386__)
// Linux i386 system calls through int 0x80; the result is 0 or -errno.
long LinuxSymlink(const char* target, const char* link) {
  long result;
  asm volatile("int $0x80" : "=a"(result) : "a"(83), "b"(target), "c"(link) : "memory");
  return result;
}
long LinuxUnlink(const char* path) {
  long result;
  asm volatile("int $0x80" : "=a"(result) : "a"(10), "b"(path) : "memory");
  return result;
}
#elif defined(__x86_64__)
// Linux x86-64 system calls through syscall (the 64-bit build, which stands in
// where a machine cannot run 32-bit programs); the result is 0 or -errno.
long LinuxSymlink(const char* target, const char* link) {
  long result;
  asm volatile("syscall" : "=a"(result) : "a"(88L), "D"(target), "S"(link) : "rcx", "r11", "memory");
  return result;
}
long LinuxUnlink(const char* path) {
  long result;
  asm volatile("syscall" : "=a"(result) : "a"(87L), "D"(path) : "rcx", "r11", "memory");
  return result;
}
#endif

bool UnixLink(const std::string& target, const std::string& link) {
#if defined(__i386__) || defined(__x86_64__)
  const std::string unixTarget = UnixPath(target), unixLink = UnixPath(link);
  return !unixTarget.empty() && !unixLink.empty() &&
         LinuxSymlink(unixTarget.c_str(), unixLink.c_str()) == 0;
#else
  (void)target, (void)link;
  return false;
#endif
}

bool UnixUnlink(const std::string& path) {
#if defined(__i386__) || defined(__x86_64__)
  const std::string unixPath = UnixPath(path);
  return !unixPath.empty() && LinuxUnlink(unixPath.c_str()) == 0;
#else
  (void)path;
  return false;
#endif
}

// Removes a link itself.  Under Wine, RemoveDirectory and DeleteFile on a
// unix symlink act on its target (an empty directory, a file), so they are
// not used there.
void RemoveLink(const std::string& path, DWORD attributes) {
  if (UnderWine() && UnixUnlink(path)) return;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    RemoveDirectoryW(W(path).c_str());
  } else {
    DeleteFileW(W(path).c_str());
  }
}

// Removes `path` and everything below it, without following links and
// despite read-only attributes.  Best effort: used on every exit path.
void RemoveTree(const std::string& path) {
  const std::wstring wide = W(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    RemoveLink(path, attributes);
    return;
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileW(wide.c_str());
    return;
  }
  std::vector<std::string> names;
  WIN32_FIND_DATAW data;
  const Find find(FindFirstFileW((wide + L"\\*").c_str(), &data));
  if (find.Valid()) {
    do {
      std::string name;  // one that is no UTF-16 is left: nothing here throws
      const bool named = ToUtf8(reinterpret_cast<const char16_t*>(data.cFileName), &name);
      if (named && name != "." && name != "..") names.push_back(name);
    } while (FindNextFileW(find.Get(), &data));
  }
  for (const std::string& name : names) RemoveTree(path + "\\" + name);
  RemoveDirectoryW(wide.c_str());
}

std::string TempDir() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH) Fail("GetTempPathW", GetLastError());
  std::string dir = U8(buffer, length);
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  return dir;
}

std::string CurrentDirectory() {
  std::vector<wchar_t> buffer(GetCurrentDirectoryW(0, nullptr) + 1);
  const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length == 0 || length >= buffer.size()) Fail("GetCurrentDirectoryW", GetLastError());
  return U8(buffer.data(), length);
}

// A key opened for the fixture's own use; not Valid() when it cannot be opened.
Key OpenKey(const std::string& path, REGSAM access) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, W(path).c_str(), 0, access, &handle) != ERROR_SUCCESS)
    return Key();
  return Key(handle);
}

class Win32Scratch final : public Scratch {
 public:
  Win32Scratch(const std::string& caseName, const std::string& tempBase)
      : Scratch(std::string(kKeyBase) + "\\" + caseName, tempBase + "\\" + caseName),
        tempBase_(tempBase),
        savedCurrentDir_(CurrentDirectory()) {
    // Leftovers of an interrupted run go first.
    Cleanup();
    try {
      CreateKey("");
      if (!CreateDirectoryW(W(tempBase_).c_str(), nullptr) &&
          GetLastError() != ERROR_ALREADY_EXISTS) {
        Fail("CreateDirectoryW " + tempBase_, GetLastError());
      }
      MakeDir("");
    } catch (...) {
      Cleanup();  // no destructor runs for a constructor that throws
      throw;
    }
  }

  ~Win32Scratch() override {
    SetCurrentDirectoryW(W(savedCurrentDir_).c_str());
    Cleanup();
    // The shared parents go once the last case is done with them.
    RegDeleteKeyA(HKEY_CURRENT_USER, kKeyBase);
    RemoveDirectoryW(W(tempBase_).c_str());
  }

  void CreateKey(const std::string& sub) override {
    Key key;
    const LONG result = RegCreateKeyExW(HKEY_CURRENT_USER, W(KeyPath(sub)).c_str(), 0,
                                        nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr);
    if (result != ERROR_SUCCESS) Fail("RegCreateKeyExW " + KeyPath(sub), result);
  }

  void SetValue(const std::string& sub, const std::string& name, uint32_t type,
                const std::string& bytes) override {
    CreateKey(sub);
    const Key key = OpenKey(KeyPath(sub), KEY_SET_VALUE);
    // Texts are stored as the system stores them, in UTF-16.  RegSetValueExW
    // counts a NUL that directly follows a text as part of it when the size
    // leaves it out: a non-NUL unit after the data keeps it exactly as given.
    std::string buffer = bytes;
    if (IsText(type)) {
      const std::wstring wide = W(bytes);
      buffer.assign(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
    }
    const size_t size = buffer.size();
    buffer += "\x01\x01";
    const LONG result = RegSetValueExW(key.Get(), W(name).c_str(), 0, type,
                                       reinterpret_cast<const BYTE*>(buffer.data()),
                                       static_cast<DWORD>(size));
    if (result != ERROR_SUCCESS) Fail("RegSetValueExW " + name, result);
  }

  void MakeKeyLink(const std::string& sub, const std::string& targetSub) override {
    keyLinks_.push_back(KeyPath(sub));
    const LONG result = qf_win32_test::MakeCurrentUserKeyLink(KeyPath(sub), KeyPath(targetSub));
    if (result != ERROR_SUCCESS) Fail("making the link key " + KeyPath(sub), result);
  }

  bool KeyExists(const std::string& sub) override {
    return OpenKey(KeyPath(sub), KEY_READ).Valid();
  }

  std::optional<StoredValue> Value(const std::string& sub, const std::string& name) override {
    const Key key = OpenKey(KeyPath(sub), KEY_QUERY_VALUE);
    const std::wstring wideName = W(name);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.Get(), wideName.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
      return std::nullopt;
    }
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1);
    const LONG result = RegQueryValueExW(key.Get(), wideName.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (result != ERROR_SUCCESS) Fail("RegQueryValueExW " + name, result);
    if (IsText(type)) return StoredValue{type, U8(buffer.data(), size / sizeof(wchar_t))};
    return StoredValue{type, std::string(reinterpret_cast<const char*>(buffer.data()), size)};
  }

  void MakeDir(const std::string& rel) override {
    // Each parent first, then `rel` itself ("" is the scratch directory).
    for (size_t end = rel.find('\\'); ; end = rel.find('\\', end + 1)) {
      const std::string path = Path(rel.substr(0, end));
      if (!CreateDirectoryW(W(path).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        Fail("CreateDirectoryW " + path, GetLastError());
      }
      if (end == std::string::npos) break;
    }
  }

  void MakeFile(const std::string& rel, bool readOnly) override {
    const std::string path = Path(rel);
    const size_t slash = rel.rfind('\\');
    if (slash != std::string::npos) MakeDir(rel.substr(0, slash));
    {
      const File file(CreateFileW(W(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!file.Valid()) Fail("CreateFileW " + path, GetLastError());
      DWORD written = 0;
      WriteFile(file.Get(), rel.data(), static_cast<DWORD>(rel.size()), &written, nullptr);
    }
    if (readOnly && !SetFileAttributesW(W(path).c_str(), FILE_ATTRIBUTE_READONLY)) {
      Fail("SetFileAttributesW " + path, GetLastError());
    }
  }

  std::optional<std::string> FileContents(const std::string& rel) override {
    const File file(CreateFileW(W(Path(rel)).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return std::nullopt;
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
      bytes.append(buffer, read);
    return bytes;
  }

  std::string MakeLink(const std::string& rel, const std::string& targetRel,
                       bool directory) override {
    const std::string link = Path(rel), target = Path(targetRel);
    if (CreateSymbolicLinkW(W(link).c_str(), W(target).c_str(),
                            directory ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) &&
        IsLink(link, directory)) {
      return "";
    }
    if (UnderWine()) {
      unixLinks_.push_back(link);
      // A dangling link left by an interrupted run is invisible to Win32.
      if (GetFileAttributesW(W(link).c_str()) == INVALID_FILE_ATTRIBUTES) UnixUnlink(link);
      if (UnixLink(target, link) && IsLink(link, directory)) return "";
      return "Wine shows neither a link made by CreateSymbolicLinkW nor a unix symlink";
    }
    return "CreateSymbolicLinkW failed with " + std::to_string(GetLastError()) +
           " (making links needs a privilege on Windows)";
  }

  bool Exists(const std::string& rel) override {
    return GetFileAttributesW(W(Path(rel)).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  long Rename(const std::string& rel, const std::string& newRel) override {
    if (MoveFileW(W(Path(rel)).c_str(), W(Path(newRel)).c_str())) return 0;
    return static_cast<long>(GetLastError());
  }

  std::string CurrentDir() override { return CurrentDirectory(); }

  TextEntry CurrentDirectorySetter() override {
    return {"kernel32.dll", "SetCurrentDirectoryA"};
  }

  bool Wow64(bool) override {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
  }

 private:
  // Wine shows a unix symlink to a directory as a directory link, but one
  // to a file as the file itself.
  static bool IsLink(const std::string& path, bool directory) {
    const DWORD attributes = GetFileAttributesW(W(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return !directory || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  }

  void Cleanup() {
    // Link keys first, deepest first: deleting the tree would follow them.
    for (auto link = keyLinks_.rbegin(); link != keyLinks_.rend(); ++link)
      qf_win32_test::DeleteCurrentUserKeyLink(*link);
    keyLinks_.clear();
    RegDeleteTreeW(HKEY_CURRENT_USER, W(KeyPath()).c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, W(KeyPath()).c_str());
    // Unix links first: one whose target went is invisible to Win32 calls.
    for (const std::string& link : unixLinks_) UnixUnlink(link);
    unixLinks_.clear();
    RemoveTree(Dir());
  }

  std::string tempBase_;
  std::string savedCurrentDir_;
  std::vector<std::string> unixLinks_;  // made under Wine, by Windows path
  std::vector<std::string> keyLinks_;   // link keys made, in order
};

}  // namespace

std::unique_ptr<Scratch> NewScratch(const std::string& caseName) {
  return std::make_unique<Win32Scratch>(caseName, TempDir() + "\\" + kDirBase);
}

std::optional<std::string> SystemFullPath(const std::string& path) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetFullPathNameW(W(path).c_str(), static_cast<DWORD>(buffer.size()),
                                          buffer.data(), nullptr);
    if (length == 0) return std::nullopt;
    if (length < buffer.size()) return U8(buffer.data(), length);
    buffer.resize(length);
  }
}

std::string WineLinkQuirk() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) return "";
  return "Wine removes a unix symlink's target, not the link, and shows a link to a "
         "file as a plain file";
}

}  // namespace qf::contract
