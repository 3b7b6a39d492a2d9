// The companion libraries as the pass's loads would find them: searched for
// by name where the library looks for them, from the host's directory, and
// read as files.  They are never loaded: loading would run
// their code.
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "capture/win32.h"
#include "common/schema.h"
#include "common/paths.h"
#include "platform/sim/sim.h"
#include "platform/win32/system_dirs.h"

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

// The directories the library's loads of a companion search, in order:
// the host's own directory, the system directory, the Windows directory.
// The directories a host may add (AddDllDirectory) are its own, and none
// is assumed; the current directory and PATH are never searched.
std::wstring SearchOrder(const HostPlace& host) {
  std::string system, windows;
  std::wstring order = Wide(host.dir);
  if (qf::platform::win32::SystemDir(&system) == 0) order += L";" + Wide(system);
  if (qf::platform::win32::SystemWindowsDir(&windows) == 0) order += L";" + Wide(windows);
  return order;
}

// Where the search finds `library`, in UTF-8; "" when nowhere (or at a path
// that cannot be carried exactly).
std::string Find(const std::wstring& order, const char* library) {
  std::vector<wchar_t> found(MAX_PATH);
  const std::wstring name = Wide(library);
  for (;;) {
    const DWORD length = SearchPathW(order.c_str(), name.c_str(), nullptr,
                                     static_cast<DWORD>(found.size()), found.data(), nullptr);
    if (length == 0) return {};
    if (length < found.size()) {
      std::string path;
      return Utf8(std::wstring_view(found.data(), length), &path) ? path : std::string();
    }
    found.resize(length);
  }
}

std::vector<BYTE> ReadWhole(const std::string& path) {
  std::vector<BYTE> bytes;
  HandleGuard file;
  if (!NT_SUCCESS(OpenObject(nullptr, NtPath(path), FILE_READ_DATA | SYNCHRONIZE,
                             FILE_NON_DIRECTORY_FILE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &file)))
    return bytes;
  BYTE buffer[65536];
  DWORD read = 0;
  while (ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
    bytes.insert(bytes.end(), buffer, buffer + read);
  return bytes;
}

// The machine of the images this process can load: i386 for the product
// (the 64-bit build stands in for it where 32-bit programs cannot run).
#if defined(_WIN64)
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_AMD64;
#else
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_I386;
#endif

// The names a DLL image of this process's machine exports; false when the
// file is no such image, which the system would refuse to load.
bool ExportNames(const std::vector<BYTE>& bytes, std::set<std::string>* names) {
  auto at = [&](size_t offset, size_t size) -> const BYTE* {
    return offset <= bytes.size() && bytes.size() - offset >= size ? bytes.data() + offset
                                                                   : nullptr;
  };
  IMAGE_DOS_HEADER dos;
  IMAGE_NT_HEADERS nt;
  if (!at(0, sizeof dos)) return false;
  std::memcpy(&dos, bytes.data(), sizeof dos);
  if (dos.e_magic != IMAGE_DOS_SIGNATURE || !at(static_cast<size_t>(dos.e_lfanew), sizeof nt))
    return false;
  std::memcpy(&nt, bytes.data() + dos.e_lfanew, sizeof nt);
  if (nt.Signature != IMAGE_NT_SIGNATURE || nt.FileHeader.Machine != kOwnMachine ||
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
  const std::wstring order = SearchOrder(host);
  for (const Companion& companion : kCompanions) {
    const std::string path = Find(order, companion.library);
    std::set<std::string> names;
    if (path.empty() || !ExportNames(ReadWhole(path), &names)) {
      snapshot->companions[companion.library] = "";
      continue;
    }
    snapshot->companions[companion.library] = path;
    std::string dir, name;
    if (!qf::SplitParent(path, &dir, &name)) dir.clear();
    sim::AddLibrary(companion.library, dir);
    if (names.count(companion.entry) != 0) sim::AddEntry(companion.library, companion.entry);
  }
}

}  // namespace qfpreview
