// qffloor: the least that the pass's way of deleting a tree can cost under
// this Wine.  It removes a directory tree with the calls the pass makes for
// every entry and nothing else: each directory listed through its handle
// (NtQueryDirectoryFile, 64 KiB at a time), each entry opened below its
// parent's handle as itself (NtOpenFile), deleted through that handle
// (FileDispositionInformation) and closed.  With --check it also checks
// every entry as the pass does: a directory's id and attributes
// (FileInternalInformation, FileAttributeTagInformation) and every entry's
// final path (NtQueryObject), compared with its parent's final path and its
// name.  No UTF-8, no journal, no heap per entry: what is left between this
// and the pass is the library's own work.
//
//   qffloor [--check] DIRECTORY   removes DIRECTORY:  floor_seconds=S
//
// Exit code 0 when the directory is gone, 1 when anything stayed, 2 for bad
// usage.
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/win32/ntdll.h"

namespace {

constexpr NTSTATUS kNoMoreFiles = static_cast<NTSTATUS>(0x80000006L);
constexpr ULONG kOpenOptions =
    FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT;
constexpr ULONG kListingBytes = 64 * 1024;

struct Disposition {
  BOOLEAN deleteFile;
};

bool check = false;
int stayed = 0;
alignas(8) unsigned char nameBuffer[64 * 1024];
alignas(8) unsigned char listing[kListingBytes];

// The handle's final path without "\??\", into `path`.
bool FinalPath(HANDLE handle, std::wstring* path) {
  ULONG needed = 0;
  if (NtQueryObject(handle, ObjectNameInformation, nameBuffer, sizeof nameBuffer, &needed) < 0)
    return false;
  const auto* name = reinterpret_cast<const OBJECT_NAME_INFORMATION*>(nameBuffer);
  const size_t length = name->Name.Length / sizeof(wchar_t);
  if (length < 4 || std::wcsncmp(name->Name.Buffer, L"\\??\\", 4) != 0) return false;
  path->assign(name->Name.Buffer + 4, length - 4);
  return true;
}

// Whether the open entry's final path is `dir` + "\" + `name`.
bool IsEntry(HANDLE handle, const std::wstring& dir, const std::wstring& name) {
  ULONG needed = 0;
  if (NtQueryObject(handle, ObjectNameInformation, nameBuffer, sizeof nameBuffer, &needed) < 0)
    return false;
  const auto* text = reinterpret_cast<const OBJECT_NAME_INFORMATION*>(nameBuffer);
  const wchar_t* at = text->Name.Buffer + 4;
  const size_t length = text->Name.Length / sizeof(wchar_t);
  return length == 4 + dir.size() + 1 + name.size() &&
         std::wcsncmp(at, dir.data(), dir.size()) == 0 && at[dir.size()] == L'\\' &&
         std::wcsncmp(at + dir.size() + 1, name.data(), name.size()) == 0;
}

struct Listed {
  std::wstring name;
  ULONG attributes;
  LONGLONG id;
};

void Empty(HANDLE dir, const std::wstring& dirPath) {
  std::vector<Listed> entries;
  for (BOOLEAN restart = TRUE;; restart = FALSE) {
    IO_STATUS_BLOCK io;
    const NTSTATUS status =
        NtQueryDirectoryFile(dir, nullptr, nullptr, nullptr, &io, listing, kListingBytes,
                             FileIdBothDirectoryInformation, FALSE, nullptr, restart);
    if (status == kNoMoreFiles || status < 0) break;
    for (ULONG offset = 0;;) {
      const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFORMATION*>(listing + offset);
      std::wstring name(record->FileName, record->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..")
        entries.push_back({std::move(name), record->FileAttributes, record->FileId.QuadPart});
      if (record->NextEntryOffset == 0) break;
      offset += record->NextEntryOffset;
    }
  }
  for (Listed& entry : entries) {
    const bool directory = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                           (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    UNICODE_STRING text;
    text.Buffer = &entry.name[0];
    text.Length = text.MaximumLength = static_cast<USHORT>(entry.name.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, dir, nullptr);
    IO_STATUS_BLOCK io;
    HANDLE handle = nullptr;
    const ACCESS_MASK access =
        DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES | (directory ? FILE_LIST_DIRECTORY : 0);
    if (NtOpenFile(&handle, access, &attributes, &io, FILE_SHARE_READ | FILE_SHARE_WRITE,
                   kOpenOptions) < 0) {
      ++stayed;
      continue;
    }
    bool same = true;
    if (check && directory) {
      FILE_INTERNAL_INFORMATION internal;
      FILE_ATTRIBUTE_TAG_INFORMATION tag;
      same = NtQueryInformationFile(handle, &io, &internal, sizeof internal,
                                    FileInternalInformation) >= 0 &&
             NtQueryInformationFile(handle, &io, &tag, sizeof tag, FileAttributeTagInformation) >= 0 &&
             internal.IndexNumber.QuadPart == entry.id;
    }
    if (check) same = same && IsEntry(handle, dirPath, entry.name);
    if (!same) {
      ++stayed;
      NtClose(handle);
      continue;
    }
    if (directory) Empty(handle, dirPath + L"\\" + entry.name);
    Disposition disposition = {TRUE};
    if (NtSetInformationFile(handle, &io, &disposition, sizeof disposition,
                             FileDispositionInformation) < 0)
      ++stayed;
    NtClose(handle);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int arg = 1;
  if (arg < argc && std::wcscmp(argv[arg], L"--check") == 0) {
    check = true;
    ++arg;
  }
  if (arg + 1 != argc) {
    std::fprintf(stderr, "usage: qffloor [--check] DIRECTORY\n");
    return 2;
  }
  OutputDebugStringA("qfbench: floor begins");
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const HANDLE root = CreateFileW(argv[arg], DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES |
                                                 FILE_LIST_DIRECTORY,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  std::wstring rootPath;
  if (root == INVALID_HANDLE_VALUE || !FinalPath(root, &rootPath)) {
    std::fprintf(stderr, "qffloor: cannot open the directory\n");
    return 1;
  }
  Empty(root, rootPath);
  Disposition disposition = {TRUE};
  IO_STATUS_BLOCK io;
  if (NtSetInformationFile(root, &io, &disposition, sizeof disposition,
                           FileDispositionInformation) < 0)
    ++stayed;
  NtClose(root);
  QueryPerformanceCounter(&end);
  OutputDebugStringA("qfbench: floor ends");
  std::printf("floor_seconds=%.6f\n",
              static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart);
  return stayed == 0 ? 0 : 1;
}
