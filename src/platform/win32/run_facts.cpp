// The facts a record of the run names: the process, its account, the host's
// directory and the time (kernel32 and advapi32).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace qf::platform {
namespace {

using win32::LastError;
using UniqueToken = UniqueAny<HANDLE, &::CloseHandle>;

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
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return LastError();
    // The lengths now count what is needed, terminators included.
    name.resize(std::max<size_t>(nameLength, name.size()) + 1);
    domain.resize(std::max<size_t>(domainLength, domain.size()) + 1);
  }
}

// The directory of the process's .exe.
long HostDirOf(std::string* dir) {
  std::vector<wchar_t> path(MAX_PATH);
  DWORD length = 0;
  // A path that does not fit is cut and returned with the buffer's length.
  while ((length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) ==
         path.size())
    path.resize(path.size() * 2);
  if (length == 0) return LastError();
  std::wstring_view text(path.data(), length);
  const size_t slash = text.rfind(L'\\');
  if (slash == std::wstring_view::npos) return ERROR_INVALID_NAME;
  // "C:\" keeps its backslash: "C:" names the drive's current directory.
  text = text.substr(0, slash == 2 && text[1] == L':' ? slash + 1 : slash);
  return win32::Utf8(text.data(), text.size(), dir) ? kSuccess : ERROR_INVALID_NAME;
}

}  // namespace

long ProcessFacts(RunFacts* facts) {
  RunFacts found;
  found.processId = GetCurrentProcessId();
  if (long result = AccountOf(&found.account)) return result;
  if (long result = HostDirOf(&found.hostDir)) return result;
  *facts = std::move(found);
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
