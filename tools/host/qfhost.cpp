// qfhost: stands in for the uninstaller host.  Loads QFUNINST.DLL, resolves
// its two entries and calls them the way the host does: on the main thread,
// stdcall, three 32-bit values each.
//
//   qfhost [--dll PATH] [--by-ordinal] [--check-entries] [--answer-boxes]
//          [--init-times N | --calls SEQ]
//
//   --dll PATH        the library to load (default: QFUNINST.DLL beside qfhost)
//   --by-ordinal      resolve the entries by ordinal (1, 2) instead of by name
//   --check-entries   resolve by name and by ordinal, fail if they differ
//   --answer-boxes    report every message box on this thread and press OK;
//                     without it a box waits for a person, as under the host
//   --init-times N    call UninstInitialize N times, then UninstUnInitialize
//   --calls SEQ       call in the order given by SEQ: I = UninstInitialize,
//                     U = UninstUnInitialize (default "IU")
//
// Exit code 0 when the library loaded, both entries resolved, every call
// returned 0 and left the stack as it found it; 1 otherwise, 2 for bad usage.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "platform/unique_any.h"

namespace {

using Entry = int32_t(__stdcall*)(uint32_t, uint32_t, uint32_t);

// The values the host would pass; the library reads none of them.
constexpr uint32_t kArgs[3] = {0x51A7E001u, 0x0000F00Du, 0xFFFFFFFEu};

struct EntryInfo {
  const char* name;
  WORD ordinal;
};
constexpr EntryInfo kInit = {"UninstInitialize", 1};
constexpr EntryInfo kUninit = {"UninstUnInitialize", 2};

// Owners of the library and the hook, one line per kind.
using LibraryGuard = qf::platform::UniqueAny<HMODULE, &::FreeLibrary>;
using HookGuard = qf::platform::UniqueAny<HHOOK, &::UnhookWindowsHookEx>;

// ---- Message boxes --------------------------------------------------------

int g_boxes = 0;
std::set<HWND> g_answered;  // boxes already reported and told to close

// Quotes a text with C escapes, so line ends and quotes stay visible.
std::string Escaped(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    switch (c) {
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", c);
          out += hex;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

std::string WindowText(HWND window) {
  if (window == nullptr) return {};
  const int length = GetWindowTextLengthA(window);
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(window, &text[0], length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

LRESULT CALLBACK AnswerBoxes(int code, WPARAM wParam, LPARAM lParam) {
  const HWND window = reinterpret_cast<HWND>(wParam);
  if (code == HCBT_ACTIVATE && g_answered.count(window) == 0) {
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::string(className) == "#32770") {
      g_answered.insert(window);
      ++g_boxes;
      // A message box shows its text in the static control with id 0xFFFF.
      const std::string caption = WindowText(window);
      const std::string text = WindowText(GetDlgItem(window, 0xFFFF));
      std::printf("box: caption=\"%s\" text=\"%s\"\n", Escaped(caption).c_str(),
                  Escaped(text).c_str());
      PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
  } else if (code == HCBT_DESTROYWND) {
    g_answered.erase(window);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// ---- Calls ----------------------------------------------------------------

struct CallResult {
  int32_t value;
  int32_t stackDrift;  // bytes ESP moved across the call; 0 for stdcall
};

// Pushes the three values and calls `entry`, then measures how far ESP is
// from where it was before the pushes.  A stdcall callee removes its own
// arguments, so the drift is 0; a cdecl one leaves them (-12).  ESP is put
// back either way, so a wrong convention is reported instead of crashing.
CallResult CallChecked(Entry entry) {
  struct Frame {
    Entry entry;
    uint32_t a, b, c;
  } frame = {entry, kArgs[0], kArgs[1], kArgs[2]};
  CallResult result = {};
#if defined(__x86_64__)
  // One calling convention on x86-64: nothing to measure.
  result.value = static_cast<int32_t>(frame.entry(frame.a, frame.b, frame.c));
#else
  asm volatile(
      "movl %%esp, %%esi\n\t"
      "pushl 12(%%edi)\n\t"
      "pushl 8(%%edi)\n\t"
      "pushl 4(%%edi)\n\t"
      "call *(%%edi)\n\t"
      "movl %%esp, %%ecx\n\t"
      "subl %%esi, %%ecx\n\t"
      "movl %%esi, %%esp\n\t"
      : "=a"(result.value), "=c"(result.stackDrift)
      : "D"(&frame)
      : "esi", "edx", "memory", "cc");
#endif
  return result;
}

// ---- Options --------------------------------------------------------------

struct Options {
  std::string dll;
  bool byOrdinal = false;
  bool checkEntries = false;
  bool answerBoxes = false;
  std::string calls = "IU";
};

int Usage() {
  std::fprintf(stderr,
               "usage: qfhost [--dll PATH] [--by-ordinal] [--check-entries] "
               "[--answer-boxes] [--init-times N | --calls SEQ]\n");
  return 2;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--dll" && hasValue) {
      options->dll = argv[++i];
    } else if (arg == "--by-ordinal") {
      options->byOrdinal = true;
    } else if (arg == "--check-entries") {
      options->checkEntries = true;
    } else if (arg == "--answer-boxes") {
      options->answerBoxes = true;
    } else if (arg == "--init-times" && hasValue) {
      char* end = nullptr;
      const long times = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || times < 0 || times > 1000) return false;
      options->calls = std::string(static_cast<size_t>(times), 'I') + "U";
    } else if (arg == "--calls" && hasValue) {
      options->calls = argv[++i];
      if (options->calls.find_first_not_of("IU") != std::string::npos) return false;
    } else {
      return false;
    }
  }
  return true;
}

std::string DefaultDllPath() {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return "QFUNINST.DLL";
  std::string dir(path, length);
  dir.erase(dir.find_last_of("\\/") + 1);
  return dir + "QFUNINST.DLL";
}

Entry AsEntry(FARPROC proc) { return reinterpret_cast<Entry>(reinterpret_cast<void*>(proc)); }

// Resolves one entry as the options ask; null (after saying why) on failure.
Entry Resolve(HMODULE module, const EntryInfo& info, const Options& options) {
  const Entry byName = AsEntry(GetProcAddress(module, info.name));
  const Entry byOrdinal = AsEntry(GetProcAddress(module, MAKEINTRESOURCEA(info.ordinal)));
  if (options.checkEntries) {
    std::printf("%s by name at %p, by ordinal %u at %p\n", info.name,
                reinterpret_cast<void*>(byName), info.ordinal,
                reinterpret_cast<void*>(byOrdinal));
    if (byName == nullptr || byName != byOrdinal) {
      std::printf("%s: name and ordinal %u resolve differently\n", info.name, info.ordinal);
      return nullptr;
    }
  }
  const Entry entry = options.byOrdinal ? byOrdinal : byName;
  if (entry == nullptr) {
    if (options.byOrdinal)
      std::printf("%s: ordinal %u not found\n", info.name, info.ordinal);
    else
      std::printf("%s: not found by name\n", info.name);
  }
  return entry;
}

}  // namespace

int main(int argc, char** argv) {
  // Lines must reach a pipe in the order they happen, boxes included.
  std::setvbuf(stdout, nullptr, _IONBF, 0);

  Options options;
  if (!ParseOptions(argc, argv, &options)) return Usage();
  if (options.dll.empty()) options.dll = DefaultDllPath();

  LibraryGuard library(LoadLibraryA(options.dll.c_str()));
  if (library.Get() == nullptr) {
    std::printf("cannot load %s: error %lu\n", options.dll.c_str(), GetLastError());
    return 1;
  }
  std::printf("loaded %s\n", options.dll.c_str());

  const Entry init = Resolve(library.Get(), kInit, options);
  const Entry uninit = Resolve(library.Get(), kUninit, options);
  if (init == nullptr || uninit == nullptr) return 1;

  HookGuard hook(options.answerBoxes
                     ? SetWindowsHookExA(WH_CBT, AnswerBoxes, nullptr, GetCurrentThreadId())
                     : nullptr);
  if (options.answerBoxes && !hook.Valid()) {
    std::printf("cannot hook message boxes: error %lu\n", GetLastError());
    return 1;
  }

  bool ok = true;
  for (char call : options.calls) {
    const EntryInfo& info = call == 'I' ? kInit : kUninit;
    const CallResult result = CallChecked(call == 'I' ? init : uninit);
    if (result.stackDrift == 0)
      std::printf("%s -> %ld (stack balanced)\n", info.name, static_cast<long>(result.value));
    else
      std::printf("%s -> %ld (stack off by %ld bytes)\n", info.name,
                  static_cast<long>(result.value), static_cast<long>(result.stackDrift));
    ok = ok && result.value == 0 && result.stackDrift == 0;
  }
  if (options.answerBoxes) std::printf("boxes answered: %d\n", g_boxes);
  return ok ? 0 : 1;
}
