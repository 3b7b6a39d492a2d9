#include "support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace qftest {
namespace {

// Reads one quoted, C-escaped text as qfhost prints it, starting after the
// opening quote at `pos`; leaves `pos` after the closing quote.
bool ReadQuoted(const std::string& line, size_t* pos, std::string* text) {
  text->clear();
  size_t i = *pos;
  while (i < line.size() && line[i] != '"') {
    char c = line[i++];
    if (c == '\\' && i < line.size()) {
      const char e = line[i++];
      switch (e) {
        case 'r': c = '\r'; break;
        case 'n': c = '\n'; break;
        case 't': c = '\t'; break;
        case 'x':
          if (i + 2 > line.size()) return false;
          c = static_cast<char>(std::strtol(line.substr(i, 2).c_str(), nullptr, 16));
          i += 2;
          break;
        default: c = e; break;  // \" and \\ .
      }
    }
    text->push_back(c);
  }
  if (i >= line.size()) return false;
  *pos = i + 1;
  return true;
}

bool ParseBox(const std::string& line, Box* box) {
  const std::string head = "box: caption=\"";
  const std::string middle = " text=\"";
  if (line.compare(0, head.size(), head) != 0) return false;
  size_t pos = head.size();
  if (!ReadQuoted(line, &pos, &box->caption)) return false;
  if (line.compare(pos, middle.size(), middle) != 0) return false;
  pos += middle.size();
  return ReadQuoted(line, &pos, &box->text) && pos == line.size();
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

void DeleteFilesIn(const std::string& dir) {
  WIN32_FIND_DATAA entry;
  const FindHandle find(FindFirstFileA((dir + "\\*").c_str(), &entry));
  if (!find.Valid()) return;
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
      DeleteFileA((dir + "\\" + entry.cFileName).c_str());
  } while (FindNextFileA(find.Get(), &entry));
}

}  // namespace

std::wstring Utf16(const std::string& utf8) {
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                         static_cast<int>(utf8.size()), nullptr, 0);
  // Fails as the tools' adapter (wide.h) fails, never as "" that names
  // something else.
  if (length == 0 && !utf8.empty()) throw std::invalid_argument("not UTF-8: " + utf8);
  std::wstring wide(length, L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                      wide.data(), length);
  return wide;
}

std::string WinPath(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

std::string BuildPath(const std::string& relative) {
  return WinPath(std::string(QF_BUILD_DIR) + "/" + relative);
}

std::string SystemText(DWORD code) {
  char* buffer = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
  std::string text(buffer != nullptr ? buffer : "", length);
  if (buffer != nullptr) LocalFree(buffer);
  return text;
}

LONG TryOpen(HKEY root, const std::string& path, REGSAM access) {
  Key key;
  return RegOpenKeyExW(root, Utf16(path).c_str(), 0, access, key.Put());
}

bool KeyExists(HKEY root, const std::string& path) {
  return TryOpen(root, path, KEY_READ) == ERROR_SUCCESS;
}

LONG WriteText(HKEY root, const std::string& path, const std::string& name,
               const std::string& value) {
  Key key;
  LONG result = RegCreateKeyExW(root, Utf16(path).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                key.Put(), nullptr);
  if (result != ERROR_SUCCESS) return result;
  const std::wstring text = Utf16(value);
  return RegSetValueExW(key.Get(), Utf16(name).c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// ---- UserSettings and AdminMarker ---------------------------------------------

namespace {

// The keys of Software\Halvern\Quillforge\3.0 under `root` that do not exist
// yet, outermost first.
std::vector<std::string> MissingProductKeys(HKEY root) {
  std::vector<std::string> missing;
  for (const char* path : {qf::MakerKey, qf::ProductKey, qf::ProductVersionKey})
    if (!KeyExists(root, path)) missing.push_back(path);
  return missing;
}

// Deletes the keys a test created, with whatever was put below them since.
void DeleteCreatedKeys(HKEY root, const std::vector<std::string>& created) {
  if (!created.empty()) RegDeleteTreeA(root, created.front().c_str());
}

}  // namespace

UserSettings::UserSettings() : created_(MissingProductKeys(HKEY_CURRENT_USER)) {
  result_ = WriteText(HKEY_CURRENT_USER, kUserOptions, "Toolbar", "1");
}

UserSettings::~UserSettings() {
  RegDeleteTreeA(HKEY_CURRENT_USER, kProductKey);
  DeleteCreatedKeys(HKEY_CURRENT_USER, created_);
}

AdminMarker::AdminMarker() : created_(MissingProductKeys(HKEY_LOCAL_MACHINE)) {
  result_ = WriteText(HKEY_LOCAL_MACHINE, kProductKey, qf::InstallAdmin, "1");
}

AdminMarker::~AdminMarker() {
  RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kProductKey, qf::InstallAdmin);
  DeleteCreatedKeys(HKEY_LOCAL_MACHINE, created_);
  if (RegGetValueA(HKEY_LOCAL_MACHINE, kProductKey, qf::InstallAdmin, RRF_RT_ANY, nullptr, nullptr,
                   nullptr) == ERROR_SUCCESS)
    ADD_FAILURE() << "the administrator marker stays behind";
}

// ---- DefaultProfileLock ------------------------------------------------------

DefaultProfileLock::DefaultProfileLock() {
  result_ = RegOpenKeyExA(HKEY_USERS, qf::DefaultUserKey, 0, READ_CONTROL | WRITE_DAC, key_.Put());
  if (result_ != ERROR_SUCCESS) return;

  DWORD size = 0;
  result_ = RegGetKeySecurity(key_.Get(), DACL_SECURITY_INFORMATION, nullptr, &size);
  if (result_ != ERROR_INSUFFICIENT_BUFFER) {
    if (result_ == ERROR_SUCCESS) result_ = ERROR_INVALID_DATA;
    return;
  }
  std::vector<BYTE> saved(size);
  result_ = RegGetKeySecurity(key_.Get(), DACL_SECURITY_INFORMATION, saved.data(), &size);
  if (result_ != ERROR_SUCCESS) return;

  BYTE everyone[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof everyone;
  if (!CreateWellKnownSid(WinWorldSid, nullptr, everyone, &sidSize)) {
    result_ = static_cast<LONG>(GetLastError());
    return;
  }
  std::vector<BYTE> aclBuffer(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + sidSize);
  auto* acl = reinterpret_cast<ACL*>(aclBuffer.data());
  SECURITY_DESCRIPTOR descriptor;
  if (!InitializeAcl(acl, static_cast<DWORD>(aclBuffer.size()), ACL_REVISION) ||
      !AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ | WRITE_DAC, everyone) ||
      !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) ||
      !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    result_ = static_cast<LONG>(GetLastError());
    return;
  }
  result_ = RegSetKeySecurity(key_.Get(),
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              &descriptor);
  // Only a DACL that was replaced is put back.
  if (result_ == ERROR_SUCCESS) saved_ = std::move(saved);
}

DefaultProfileLock::~DefaultProfileLock() {
  if (saved_.empty()) return;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(saved_.data(), &control, &revision);
  const SECURITY_INFORMATION what =
      DACL_SECURITY_INFORMATION | ((control & SE_DACL_PROTECTED) != 0
                                       ? PROTECTED_DACL_SECURITY_INFORMATION
                                       : UNPROTECTED_DACL_SECURITY_INFORMATION);
  const LONG result = RegSetKeySecurity(key_.Get(), what, saved_.data());
  if (result != ERROR_SUCCESS)
    ADD_FAILURE() << "HKEY_USERS\\.Default keeps the test's DACL: error " << result;
}

// ---- ScratchDir --------------------------------------------------------------

std::string ScratchRoot() {
  const char* arch = std::getenv("QF_WINEARCH");
  return std::string(QF_SCRATCH_ROOT) + "/" + (arch && *arch ? arch : "win64");
}

ScratchDir::ScratchDir(const std::string& name) {
  CreateDirectoryA(WinPath(QF_SCRATCH_ROOT).c_str(), nullptr);
  const std::string root = WinPath(ScratchRoot());
  CreateDirectoryA(root.c_str(), nullptr);
  path_ = root + "\\" + name;
  CreateDirectoryA(path_.c_str(), nullptr);
  DeleteFilesIn(path_);  // left over from an interrupted run
}

ScratchDir::~ScratchDir() {
  DeleteFilesIn(path_);
  RemoveDirectoryA(path_.c_str());
}

bool ScratchDir::Add(const std::string& source) {
  const std::string name = source.substr(source.find_last_of('\\') + 1);
  return CopyFileA(source.c_str(), File(name).c_str(), FALSE) != 0;
}

// ---- Files -------------------------------------------------------------------

std::vector<std::string> ReadLines(const std::string& path) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return {};
  std::string text;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
    text.append(buffer, read);
  return SplitLines(text);
}

size_t CountLines(const std::vector<std::string>& lines, const std::string& line) {
  size_t count = 0;
  for (const std::string& l : lines) count += l == line ? 1 : 0;
  return count;
}

size_t CountContaining(const std::vector<std::string>& lines, const std::string& part) {
  size_t count = 0;
  for (const std::string& l : lines) count += l.find(part) != std::string::npos ? 1 : 0;
  return count;
}

// ---- RunHost -----------------------------------------------------------------

HostRun RunHost(const std::string& host, const std::string& arguments,
                const std::string& currentDir) {
  HostRun run;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  Handle readEnd, writeEnd;
  if (!CreatePipe(readEnd.Put(), writeEnd.Put(), &inherit, 0)) return run;
  SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd.Get();
  startup.hStdError = writeEnd.Get();
  std::string commandLine = "\"" + host + "\" " + arguments;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(host.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                      currentDir.c_str(), &startup, &info)) {
    run.output = "CreateProcess failed: " + std::to_string(GetLastError());
    return run;
  }
  Handle process(info.hProcess), thread(info.hThread);
  writeEnd.Reset();  // the pipe ends once the host is gone

  std::thread reader([&] {
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(readEnd.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
      run.output.append(buffer, read);
  });
  // A box nobody answers would keep the host waiting for ever.
  if (WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0) {
    TerminateProcess(process.Get(), 99);
    WaitForSingleObject(process.Get(), INFINITE);
  } else {
    run.finished = true;
  }
  GetExitCodeProcess(process.Get(), &run.exitCode);
  reader.join();

  run.lines = SplitLines(run.output);
  for (const std::string& line : run.lines) {
    Box box;
    if (ParseBox(line, &box)) run.boxes.push_back(box);
  }
  return run;
}

bool StartNative(const std::string& command) {
  std::string line = "\"" + BuildPath("tests/wine/native_start.exe") + "\" " + command;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info))
    return false;
  Handle process(info.hProcess), thread(info.hThread);
  return WaitForSingleObject(process.Get(), 60000) == WAIT_OBJECT_0;
}

}  // namespace qftest
