// The folders the system keeps and what a path leads to (shell32, kernel32).
#include "platform/win32/folders.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <string_view>

#include "platform/win32/win32.h"

namespace qf::platform::win32 {
namespace {

struct KnownFolder {
  const KNOWNFOLDERID* id;
  const char* name;
};

// The known folders that are directories of the system or of its users, as
// this 32-bit process is given them.  On 64-bit Windows (WOW64) it is given
// "C:\Program Files (x86)" for both Program Files folders, its Common Files
// below that, and SysWOW64 for System (x86); the 64-bit folders it is
// refused, and skipped here.  The machine's own Program Files and Common
// Files are then learnt where the system records them, in the 64-bit
// registry view, by whoever holds a directory against these.
const KnownFolder kKnownFolders[] = {
    {&FOLDERID_Windows, "Windows"},
    {&FOLDERID_System, "System"},
    {&FOLDERID_SystemX86, "System (x86)"},
    {&FOLDERID_Fonts, "Fonts"},
    {&FOLDERID_ResourceDir, "Resources"},
    {&FOLDERID_ProgramFiles, "Program Files"},
    {&FOLDERID_ProgramFilesX86, "Program Files (x86)"},
    {&FOLDERID_ProgramFilesX64, "Program Files (x64)"},
    {&FOLDERID_ProgramFilesCommon, "Common Files"},
    {&FOLDERID_ProgramFilesCommonX86, "Common Files (x86)"},
    {&FOLDERID_ProgramFilesCommonX64, "Common Files (x64)"},
    {&FOLDERID_UserProgramFiles, "user's Programs"},
    {&FOLDERID_UserProgramFilesCommon, "user's Common Programs"},
    {&FOLDERID_ProgramData, "ProgramData"},
    {&FOLDERID_UserProfiles, "Users"},
    {&FOLDERID_Profile, "Profile"},
    {&FOLDERID_Documents, "Documents"},
    {&FOLDERID_Desktop, "Desktop"},
    {&FOLDERID_Downloads, "Downloads"},
    {&FOLDERID_Music, "Music"},
    {&FOLDERID_Pictures, "Pictures"},
    {&FOLDERID_Videos, "Videos"},
    {&FOLDERID_Favorites, "Favorites"},
    {&FOLDERID_Links, "Links"},
    {&FOLDERID_Contacts, "Contacts"},
    {&FOLDERID_SavedGames, "Saved Games"},
    {&FOLDERID_SavedSearches, "Searches"},
    {&FOLDERID_RoamingAppData, "Roaming AppData"},
    {&FOLDERID_LocalAppData, "Local AppData"},
    {&FOLDERID_LocalAppDataLow, "LocalLow AppData"},
    {&FOLDERID_StartMenu, "Start Menu"},
    {&FOLDERID_Programs, "Programs"},
    {&FOLDERID_Startup, "Startup"},
    {&FOLDERID_SendTo, "SendTo"},
    {&FOLDERID_Recent, "Recent"},
    {&FOLDERID_Templates, "Templates"},
    {&FOLDERID_Cookies, "Cookies"},
    {&FOLDERID_History, "History"},
    {&FOLDERID_InternetCache, "Internet Cache"},
    {&FOLDERID_AdminTools, "Administrative Tools"},
    {&FOLDERID_Public, "Public"},
    {&FOLDERID_PublicDocuments, "Public Documents"},
    {&FOLDERID_PublicDesktop, "Public Desktop"},
    {&FOLDERID_PublicDownloads, "Public Downloads"},
    {&FOLDERID_PublicMusic, "Public Music"},
    {&FOLDERID_PublicPictures, "Public Pictures"},
    {&FOLDERID_PublicVideos, "Public Videos"},
    {&FOLDERID_CommonStartMenu, "common Start Menu"},
    {&FOLDERID_CommonPrograms, "common Programs"},
    {&FOLDERID_CommonStartup, "common Startup"},
    {&FOLDERID_CommonTemplates, "common Templates"},
    {&FOLDERID_CommonAdminTools, "common Administrative Tools"},
};

void FreeTaskMemory(PWSTR text) { CoTaskMemFree(text); }
using UniqueTaskText = UniqueAny<PWSTR, &FreeTaskMemory>;

// "C:\dir\" as "C:\dir", but "C:\" as it is.
std::wstring_view WithoutTrailingSeparator(std::wstring_view path) {
  while (path.size() > 3 && path.back() == L'\\') path.remove_suffix(1);
  return path;
}

}  // namespace

void SystemFolders(std::vector<KeptFolder>* folders) {
  for (const KnownFolder& known : kKnownFolders) {
    UniqueTaskText path;
    // KF_FLAG_DONT_VERIFY: the folder as the system names it, whether or
    // not it has been made yet; the comparison allows for either.
    if (FAILED(SHGetKnownFolderPath(*known.id, KF_FLAG_DONT_VERIFY, nullptr, path.Put())) ||
        !path.Valid())
      continue;
    const std::wstring_view text = WithoutTrailingSeparator(path.Get());
    std::string utf8;
    if (text.empty() || !Utf8(text.data(), text.size(), &utf8)) continue;
    folders->push_back({std::string("the system's ") + known.name + " folder", utf8});
  }
}

long ModuleDir(HMODULE module, std::string* dir) {
  std::vector<wchar_t> path(MAX_PATH);
  DWORD length = 0;
  // A path that does not fit is cut and returned with the buffer's length.
  while ((length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()))) ==
         path.size())
    path.resize(path.size() * 2);
  if (length == 0) return LastError();
  std::wstring_view text(path.data(), length);
  const size_t slash = text.rfind(L'\\');
  if (slash == std::wstring_view::npos) return ERROR_INVALID_NAME;
  // "C:\" keeps its backslash: "C:" names the drive's current directory.
  text = text.substr(0, slash == 2 && text[1] == L':' ? slash + 1 : slash);
  return Utf8(text.data(), text.size(), dir) ? kSuccess : ERROR_INVALID_NAME;
}

long CurrentDir(std::string* dir) {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(path.size()), path.data());
    if (length == 0) return LastError();
    if (length < path.size()) {
      const std::wstring_view text = WithoutTrailingSeparator({path.data(), length});
      return Utf8(text.data(), text.size(), dir) ? kSuccess : ERROR_INVALID_NAME;
    }
    path.resize(length);
  }
}

long FinalPathOfHandle(HANDLE handle, std::string* finalPath) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return LastError();
    if (length < buffer.size()) return DosPathUtf8({buffer.data(), length}, finalPath);
    buffer.resize(length + 1);
  }
}

}  // namespace qf::platform::win32
