// The facts a record of the run names: the process, its account, the host's
// directory and the time; and the folders the system and the process keep
// (kernel32, advapi32 and shell32).
#include <windows.h>
#include <ntsecapi.h>
#include <sddl.h>

#include <algorithm>
#include <cwchar>
#include <cstdio>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/folders.h"
#include "platform/win32/win32.h"

namespace qf::platform {
namespace {

using win32::LastError;
using UniqueToken = UniqueAny<HANDLE, &::CloseHandle>;
using UniqueLocal = UniqueAny<HLOCAL, &::LocalFree>;

// "DOMAIN\user" of the process's token.  The token's user rather than
// GetUserNameW, which gives the name alone and cannot tell a local account
// from a domain's of the same name; GetUserNameExW would give both but
// lives in a library the product does not otherwise load.
long AccountOf(std::string* account) {
  UniqueToken token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return LastError();
  DWORD size = 0;
  GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return LastError();
  std::vector<unsigned long long> user(size / sizeof(unsigned long long) + 1);
  if (!GetTokenInformation(token.Get(), TokenUser, user.data(), size, &size)) return LastError();
  const PSID sid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
  std::vector<wchar_t> name(256), domain(256);
  // An account whose name cannot be looked up is named by its SID.
  const auto bySid = [&] {
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return LastError();
    const UniqueLocal owned(text);
    return win32::Utf8(text, wcslen(text), account) ? kSuccess : long{ERROR_INVALID_NAME};
  };
  for (;;) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD domainLength = static_cast<DWORD>(domain.size());
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, sid, name.data(), &nameLength, domain.data(), &domainLength,
                          &use)) {
      std::string domainText, nameText;
      if (!win32::Utf8(domain.data(), domainLength, &domainText) ||
          !win32::Utf8(name.data(), nameLength, &nameText))
        return ERROR_INVALID_NAME;
      *account = domainText + "\\" + nameText;
      return kSuccess;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return bySid();
    // The lengths now count what is needed, terminators included.
    name.resize(std::max<size_t>(nameLength, name.size()) + 1);
    domain.resize(std::max<size_t>(domainLength, domain.size()) + 1);
  }
}

}  // namespace

long ProcessFacts(RunFacts* facts) {
  RunFacts found;
  found.processId = GetCurrentProcessId();
  if (long result = AccountOf(&found.account)) return result;
  if (long result = win32::ModuleDir(nullptr, &found.hostDir)) return result;
  wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(computer, &length)) return LastError();
  if (!win32::Utf8(computer, length, &found.computer)) return ERROR_INVALID_NAME;
  *facts = std::move(found);
  return kSuccess;
}

long RandomBits(uint64_t* bits) {
  return RtlGenRandom(bits, sizeof *bits) ? kSuccess : ERROR_GEN_FAILURE;
}

long KeptFolders(std::vector<KeptFolder>* folders) {
  std::vector<KeptFolder> found;
  win32::SystemFolders(&found);
  // This library's module is the one whose code this is.
  HMODULE library = nullptr;
  std::string host, own, current;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&KeptFolders), &library))
    return LastError();
  if (long result = win32::ModuleDir(nullptr, &host)) return result;
  if (long result = win32::ModuleDir(library, &own)) return result;
  if (long result = win32::CurrentDir(&current)) return result;
  AddRunningFolders(host, own, current, &found);
  *folders = std::move(found);
  return kSuccess;
}

std::string UtcTimeText() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", now.wYear, now.wMonth,
                now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  return text;
}

}  // namespace qf::platform
