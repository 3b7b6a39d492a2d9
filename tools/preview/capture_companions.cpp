// The companion libraries as the pass's loads would find them: searched for
// by name in the order the system's library search takes from the host's
// directory, and read as files.  They are never loaded: loading would run
// their code.
#include <windows.h>
#include <winternl.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "capture.h"
#include "common/schema.h"
#include "platform/sim/sim.h"
#include "win32_guards.h"

namespace qfpreview {
namespace {

namespace sim = qf::sim;

struct Companion {
  const char* library;
  const char* entry;  // the one entry the pass looks up
};
constexpr Companion kCompanions[] = {
    {qf::FirstCompanion, qf::FirstCompanionEntry},
    {qf::SecondCompanion, qf::VrxEntry},
};

std::string Directory(UINT(WINAPI* get)(LPSTR, UINT)) {
  char path[MAX_PATH] = {};
  const UINT length = get(path, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
}

// The directories a library load by bare name searches, in order: the
// host's own directory, the system directory, the 16-bit system directory,
// the Windows directory, the host's current directory, then PATH.
std::string SearchOrder(const HostPlace& host) {
  const std::string windows = Directory(GetWindowsDirectoryA);
  std::string order = host.dir + ";" + Directory(GetSystemDirectoryA) + ";" + windows +
                      "\\System;" + windows + ";" + host.currentDir;
  const DWORD length = GetEnvironmentVariableA("PATH", nullptr, 0);
  if (length > 0) {
    std::string path(length, '\0');
    path.resize(GetEnvironmentVariableA("PATH", &path[0], length));
    order += ";" + path;
  }
  return order;
}

std::string Find(const std::string& order, const char* library) {
  char found[MAX_PATH] = {};
  const DWORD length = SearchPathA(order.c_str(), library, nullptr, MAX_PATH, found, nullptr);
  return length > 0 && length < MAX_PATH ? std::string(found, length) : std::string();
}

std::vector<BYTE> ReadWhole(const std::string& path) {
  std::vector<BYTE> bytes;
  HandleGuard file;
  if (!NT_SUCCESS(OpenObject(nullptr, NtPath(path), FILE_READ_DATA | SYNCHRONIZE,
                             FILE_NON_DIRECTORY_FILE, &file)))
    return bytes;
  BYTE buffer[65536];
  DWORD read = 0;
  while (ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
    bytes.insert(bytes.end(), buffer, buffer + read);
  return bytes;
}

// The names a 32-bit DLL image exports; nullopt-like false when the file is
// no such image, which the system would refuse to load.
bool ExportNames(const std::vector<BYTE>& bytes, std::set<std::string>* names) {
  auto at = [&](size_t offset, size_t size) -> const BYTE* {
    return offset <= bytes.size() && bytes.size() - offset >= size ? bytes.data() + offset
                                                                   : nullptr;
  };
  IMAGE_DOS_HEADER dos;
  IMAGE_NT_HEADERS32 nt;
  if (!at(0, sizeof dos)) return false;
  std::memcpy(&dos, bytes.data(), sizeof dos);
  if (dos.e_magic != IMAGE_DOS_SIGNATURE || !at(static_cast<size_t>(dos.e_lfanew), sizeof nt))
    return false;
  std::memcpy(&nt, bytes.data() + dos.e_lfanew, sizeof nt);
  if (nt.Signature != IMAGE_NT_SIGNATURE || nt.FileHeader.Machine != IMAGE_FILE_MACHINE_I386 ||
      !(nt.FileHeader.Characteristics & IMAGE_FILE_DLL))
    return false;
  const size_t sectionsAt = static_cast<size_t>(dos.e_lfanew) + sizeof(DWORD) +
                            sizeof(IMAGE_FILE_HEADER) + nt.FileHeader.SizeOfOptionalHeader;
  std::vector<IMAGE_SECTION_HEADER> sections(nt.FileHeader.NumberOfSections);
  for (size_t i = 0; i < sections.size(); ++i) {
    const BYTE* section =
        at(sectionsAt + i * sizeof(IMAGE_SECTION_HEADER), sizeof(IMAGE_SECTION_HEADER));
    if (!section) return false;
    std::memcpy(&sections[i], section, sizeof sections[i]);
  }
  auto offsetOf = [&](DWORD rva) -> size_t {
    for (const IMAGE_SECTION_HEADER& s : sections)
      if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData)
        return s.PointerToRawData + (rva - s.VirtualAddress);
    return bytes.size();
  };
  const IMAGE_DATA_DIRECTORY& table = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (table.VirtualAddress == 0) return true;
  IMAGE_EXPORT_DIRECTORY exports;
  const BYTE* found = at(offsetOf(table.VirtualAddress), sizeof exports);
  if (!found) return true;
  std::memcpy(&exports, found, sizeof exports);
  for (DWORD i = 0; i < exports.NumberOfNames; ++i) {
    const BYTE* nameRva = at(offsetOf(exports.AddressOfNames) + i * sizeof(DWORD), sizeof(DWORD));
    if (!nameRva) break;
    DWORD rva = 0;
    std::memcpy(&rva, nameRva, sizeof rva);
    const size_t start = offsetOf(rva);
    size_t end = start;
    while (end < bytes.size() && bytes[end] != 0) ++end;
    if (end < bytes.size()) names->insert(std::string(bytes.begin() + start, bytes.begin() + end));
  }
  return true;
}

}  // namespace

void CaptureCompanions(const HostPlace& host, Snapshot* snapshot) {
  const std::string order = SearchOrder(host);
  for (const Companion& companion : kCompanions) {
    const std::string path = Find(order, companion.library);
    std::set<std::string> names;
    if (path.empty() || !ExportNames(ReadWhole(path), &names)) {
      snapshot->companions[companion.library] = "";
      continue;
    }
    snapshot->companions[companion.library] = path;
    sim::AddLibrary(companion.library);
    if (names.count(companion.entry) != 0) sim::AddEntry(companion.library, companion.entry);
  }
}

}  // namespace qfpreview
