#include "platform/win32/file_identity.h"

#include <winternl.h>

#include <cstdint>

#include "platform/win32/win32.h"

namespace qf::platform::win32 {
namespace {

long Query(HANDLE handle, void* info, ULONG size, FILE_INFORMATION_CLASS what) {
  IO_STATUS_BLOCK io;
  const NTSTATUS status = NtQueryInformationFile(handle, &io, info, size, what);
  return status >= 0 ? kSuccess : static_cast<long>(RtlNtStatusToDosError(status));
}

}  // namespace

long IdentityOf(HANDLE handle, FileIdentity* identity, bool volume) {
  FILE_INTERNAL_INFORMATION internal;
  FILE_STANDARD_INFORMATION standard;
  FILE_BASIC_INFORMATION basic;
  if (long failed = Query(handle, &internal, sizeof internal, FileInternalInformation)) return failed;
  if (long failed = Query(handle, &standard, sizeof standard, FileStandardInformation)) return failed;
  if (long failed = Query(handle, &basic, sizeof basic, FileBasicInformation)) return failed;
  identity->volume = 0;
  if (volume) {
    FILE_ID_INFO id;
    if (!GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id)) return LastError();
    identity->volume = id.VolumeSerialNumber;
  }
  identity->id = static_cast<uint64_t>(internal.IndexNumber.QuadPart);
  identity->size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
  identity->lastWrite = static_cast<uint64_t>(basic.LastWriteTime.QuadPart);
  return kSuccess;
}

}  // namespace qf::platform::win32
