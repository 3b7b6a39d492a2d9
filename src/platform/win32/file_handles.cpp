// Files and directories through their own handles: opened as themselves,
// listed with their ids, deleted through the handle, and new files created
// below a directory's handle and written (kernel32 and ntdll).
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/file_identity.h"
#include "platform/win32/folders.h"
#include "platform/win32/ntdll.h"
#include "platform/win32/win32.h"

namespace qf::platform {
namespace {

using win32::LastError;

constexpr NTSTATUS kStatusNoMoreFiles = static_cast<NTSTATUS>(0x80000006L);
constexpr NTSTATUS kStatusBufferOverflow = static_cast<NTSTATUS>(0x80000005L);
constexpr NTSTATUS kStatusInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);
constexpr ULONG kOpenOptions =
    FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT;
// Big enough for hundreds of entries per request.
constexpr ULONG kListingBufferBytes = 64 * 1024;

long FromStatus(NTSTATUS status) {
  const ULONG code = RtlNtStatusToDosError(status);
  return code != ERROR_SUCCESS ? static_cast<long>(code) : ERROR_GEN_FAILURE;
}

HANDLE AsHandle(std::uintptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

ACCESS_MASK AccessOf(FileAccess access) {
  ACCESS_MASK mask = FILE_READ_ATTRIBUTES | SYNCHRONIZE;
  if (access == FileAccess::List || access == FileAccess::ListAndDelete) mask |= FILE_LIST_DIRECTORY;
  if (access == FileAccess::Delete || access == FileAccess::ListAndDelete) mask |= DELETE;
  if (access == FileAccess::Read) mask |= FILE_READ_DATA;
  return mask;
}

// The final path through the object manager's name when it already names a
// drive (Wine's "\??\C:\..." at any length, one request), otherwise through
// GetFinalPathNameByHandleW (Windows names the device there).  The buffers
// are kept from one call to the next (the pass runs on one thread, and its
// calls never overlap): a pass asks for thousands of these.
long FinalPathOf(HANDLE handle, std::string* path) {
  static std::vector<unsigned char> buffer(sizeof(OBJECT_NAME_INFORMATION) +
                                                        1024 * sizeof(wchar_t));
  for (int attempt = 0; attempt < 4; ++attempt) {
    ULONG needed = 0;
    const NTSTATUS status = NtQueryObject(handle, ObjectNameInformation, buffer.data(),
                                          static_cast<ULONG>(buffer.size()), &needed);
    if (status == kStatusBufferOverflow || status == kStatusInfoLengthMismatch) {
      buffer.resize(needed > buffer.size() ? needed + 64 : buffer.size() * 4);
      continue;
    }
    if (status < 0) break;
    const auto* name = reinterpret_cast<const OBJECT_NAME_INFORMATION*>(buffer.data());
    const std::wstring_view text(name->Name.Buffer, name->Name.Length / sizeof(wchar_t));
    if (text.compare(0, 4, L"\\??\\") != 0) break;
    return win32::DosPathUtf8(text, path);
  }
  static std::vector<wchar_t> wide(MAX_PATH);
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleW(handle, wide.data(), static_cast<DWORD>(wide.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return LastError();
    if (length < wide.size()) return win32::DosPathUtf8(std::wstring_view(wide.data(), length), path);
    wide.resize(length + 1);
  }
}

}  // namespace

namespace detail {
void CloseFileHandle(std::uintptr_t handle) { CloseHandle(AsHandle(handle)); }
}  // namespace detail

long FileHandle::Open(const char* path, FileAccess access) {
  Close();
  std::wstring wide;
  if (!win32::Wide(path ? path : "", &wide)) return ERROR_INVALID_NAME;
  const HANDLE file = CreateFileW(wide.c_str(), AccessOf(access),
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  handle_.Reset(reinterpret_cast<std::uintptr_t>(file));
  return kSuccess;
}

namespace {

// A name below an open directory as the NT calls take it, converted once,
// straight into the buffer the call reads (this runs for every entry of a
// tree).  Refers to itself, so it is neither copied nor moved.
struct NameBelow {
  std::u16string wide;
  UNICODE_STRING text{};
  OBJECT_ATTRIBUTES attributes{};
  NameBelow() = default;
  NameBelow(const NameBelow&) = delete;
  NameBelow& operator=(const NameBelow&) = delete;
  // False for a name that cannot be carried, or is empty (which would name
  // the parent itself).
  bool Set(HANDLE parent, const std::string& name) {
    if (!ToUtf16(name, &wide) || wide.empty()) return false;
    text.Buffer = reinterpret_cast<wchar_t*>(&wide[0]);
    text.Length = static_cast<USHORT>(wide.size() * sizeof(char16_t));
    text.MaximumLength = text.Length;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, parent, nullptr);
    return true;
  }
};

}  // namespace

long FileHandle::OpenBelow(const FileHandle& parent, const std::string& name, FileAccess access) {
  Close();
  if (!parent.Valid()) return kErrorInvalidHandle;
  NameBelow below;
  if (!below.Set(AsHandle(parent.handle_.Get()), name)) return ERROR_INVALID_NAME;
  OBJECT_ATTRIBUTES& attributes = below.attributes;
  IO_STATUS_BLOCK io;
  HANDLE file = nullptr;
  const NTSTATUS status = NtOpenFile(&file, AccessOf(access), &attributes, &io,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, kOpenOptions);
  if (status < 0) return FromStatus(status);
  handle_.Reset(reinterpret_cast<std::uintptr_t>(file));
  return kSuccess;
}

long FileHandle::Facts(FileFacts* facts) const {
  if (!handle_.Valid()) return kErrorInvalidHandle;
  // Two queries of the file itself rather than GetFileInformationByHandle,
  // which asks for the volume's serial number too: under Wine a round of
  // requests to the mount manager for every entry.
  const HANDLE handle = AsHandle(handle_.Get());
  IO_STATUS_BLOCK io;
  FILE_INTERNAL_INFORMATION internal;
  NTSTATUS status =
      NtQueryInformationFile(handle, &io, &internal, sizeof internal, FileInternalInformation);
  if (status < 0) return FromStatus(status);
  FILE_ATTRIBUTE_TAG_INFORMATION tag;
  status = NtQueryInformationFile(handle, &io, &tag, sizeof tag, FileAttributeTagInformation);
  if (status < 0) return FromStatus(status);
  std::string path;
  if (long result = FinalPathOf(handle, &path)) return result;
  facts->id = static_cast<uint64_t>(internal.IndexNumber.QuadPart);
  facts->attributes = tag.FileAttributes;
  facts->finalPath = std::move(path);
  return kSuccess;
}

long FileHandle::FinalPath(std::string* path) const {
  if (!handle_.Valid()) return kErrorInvalidHandle;
  return FinalPathOf(AsHandle(handle_.Get()), path);
}

long FileHandle::Identity(FileIdentity* identity, bool volume) const {
  if (!handle_.Valid()) return kErrorInvalidHandle;
  return win32::IdentityOf(AsHandle(handle_.Get()), identity, volume);
}

long FileHandle::Read(size_t limit, std::string* bytes) const {
  if (!handle_.Valid()) return kErrorInvalidHandle;
  std::string read;
  char buffer[64 * 1024];
  for (DWORD got = 0;; read.append(buffer, got)) {
    if (!ReadFile(AsHandle(handle_.Get()), buffer, sizeof buffer, &got, nullptr)) return LastError();
    if (got == 0) break;
    if (read.size() + got > limit) return kErrorMoreData;
  }
  *bytes = std::move(read);
  return kSuccess;
}

long FileHandle::List(std::vector<DirEntry>* entries) const {
  if (!handle_.Valid()) return kErrorInvalidHandle;
  // 8-byte alignment for the records; not zero-filled, since the call
  // writes every record it returns.
  const std::unique_ptr<unsigned long long[]> buffer(
      new unsigned long long[kListingBufferBytes / sizeof(unsigned long long)]);
  std::vector<DirEntry> listed;
  for (BOOLEAN restart = TRUE;; restart = FALSE) {
    IO_STATUS_BLOCK io;
    const NTSTATUS status = NtQueryDirectoryFile(
        AsHandle(handle_.Get()), nullptr, nullptr, nullptr, &io, buffer.get(), kListingBufferBytes,
        FileIdBothDirectoryInformation, FALSE, nullptr, restart);
    if (status == kStatusNoMoreFiles) break;
    if (status < 0) return FromStatus(status);
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.get());
    for (ULONG offset = 0;;) {
      const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFORMATION*>(bytes + offset);
      DirEntry entry;
      // A name that is no valid UTF-16 (a lone surrogate) cannot be carried
      // exactly: it is marked so, and shown, but never used.
      const size_t length = record->FileNameLength / sizeof(wchar_t);
      if (!win32::Utf8(record->FileName, length, &entry.name)) {
        entry.name = ToUtf8Shown(
            std::u16string_view(reinterpret_cast<const char16_t*>(record->FileName), length));
        entry.exact = false;
      }
      entry.attributes = record->FileAttributes;
      entry.id = static_cast<uint64_t>(record->FileId.QuadPart);
      entry.size = static_cast<uint64_t>(record->EndOfFile.QuadPart);
      entry.lastWrite = static_cast<uint64_t>(record->LastWriteTime.QuadPart);
      listed.push_back(std::move(entry));
      if (record->NextEntryOffset == 0) break;
      offset += record->NextEntryOffset;
    }
  }
  *entries = std::move(listed);
  return kSuccess;
}

long FileHandle::Dispose() {
  if (!handle_.Valid()) return kErrorInvalidHandle;
  struct {
    BOOLEAN deleteFile;
  } disposition = {TRUE};
  IO_STATUS_BLOCK io;
  const NTSTATUS status = NtSetInformationFile(AsHandle(handle_.Get()), &io, &disposition,
                                               sizeof disposition, FileDispositionInformation);
  return status < 0 ? FromStatus(status) : kSuccess;
}

long FileHandle::CreateBelow(const FileHandle& parent, const std::string& name) {
  Close();
  if (!parent.Valid()) return kErrorInvalidHandle;
  NameBelow below;
  if (!below.Set(AsHandle(parent.handle_.Get()), name)) return ERROR_INVALID_NAME;
  OBJECT_ATTRIBUTES& attributes = below.attributes;
  IO_STATUS_BLOCK io;
  HANDLE file = nullptr;
  // FILE_CREATE alone: an existing name, even a link's, is never opened,
  // so nothing there is written or truncated, and no link is followed.
  const NTSTATUS status = NtCreateFile(
      &file, FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &attributes,
      &io, nullptr, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, FILE_CREATE,
      FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (status < 0) return FromStatus(status);
  handle_.Reset(reinterpret_cast<std::uintptr_t>(file));
  return kSuccess;
}

long FileHandle::Write(std::string_view bytes) {
  if (!handle_.Valid()) return kErrorInvalidHandle;
  // WriteFile takes a DWORD count and may write less than asked.
  constexpr size_t kChunk = size_t{1} << 30;
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteFile(AsHandle(handle_.Get()), bytes.data(),
                   static_cast<DWORD>(std::min(bytes.size(), kChunk)), &written, nullptr))
      return LastError();
    if (written == 0) return kErrorDiskFull;
    bytes.remove_prefix(written);
  }
  return kSuccess;
}

long FileHandle::Flush() {
  if (!handle_.Valid()) return kErrorInvalidHandle;
  return FlushFileBuffers(AsHandle(handle_.Get())) ? kSuccess : LastError();
}

long TargetFinalPath(const char* path, std::string* finalPath) {
  std::wstring wide;
  if (!win32::Wide(path ? path : "", &wide)) return ERROR_INVALID_NAME;
  // Shared for everything: a glance that stands in nobody's way.
  using UniqueFile = UniqueAny<HANDLE, &::CloseHandle, -1>;
  const UniqueFile file(CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.Valid()) return LastError();
  return win32::FinalPathOfHandle(file.Get(), finalPath);
}

long LongPathName(const char* path, std::string* longPath) {
  std::wstring wide;
  if (!win32::Wide(path ? path : "", &wide)) return ERROR_INVALID_NAME;
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetLongPathNameW(wide.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return LastError();
    if (length < buffer.size()) {
      return win32::Utf8(buffer.data(), length, longPath) ? kSuccess : ERROR_INVALID_NAME;
    }
    buffer.resize(length);
  }
}

}  // namespace qf::platform
