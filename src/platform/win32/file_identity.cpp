#include "platform/win32/file_identity.h"

#include <winternl.h>

#include <cstdint>
#include <cstring>

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
  FILE_NETWORK_OPEN_INFORMATION open;
  if (long failed = Query(handle, &internal, sizeof internal, FileInternalInformation)) return failed;
  if (long failed = Query(handle, &open, sizeof open, FileNetworkOpenInformation)) return failed;
  identity->volume = 0;
  if (volume) {
    FILE_ID_INFO id;
    if (!GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id)) return LastError();
    identity->volume = id.VolumeSerialNumber;
  }
  identity->id = static_cast<uint64_t>(internal.IndexNumber.QuadPart);
  identity->size = static_cast<uint64_t>(open.EndOfFile.QuadPart);
  identity->lastWrite = static_cast<uint64_t>(open.LastWriteTime.QuadPart);
  return kSuccess;
}

}  // namespace qf::platform::win32
