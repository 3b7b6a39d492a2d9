// What ntdll exports and the toolchain's headers do not declare.
#pragma once

#include <windows.h>
#include <winternl.h>

extern "C" {
// Lists a directory through its handle.
NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, PVOID apcRoutine, PVOID apcContext,
                                    PIO_STATUS_BLOCK status, PVOID buffer, ULONG length,
                                    FILE_INFORMATION_CLASS infoClass, BOOLEAN singleEntry,
                                    PUNICODE_STRING mask, BOOLEAN restart);
// Deletes the key a handle holds; advapi32 offers no such call.
NTSTATUS NTAPI NtDeleteKey(HANDLE key);
}
