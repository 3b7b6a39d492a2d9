// Stand-in for the RWUNINST.DLL companion.  Logs its load and unload and every
// call of UNINSTALLVRXREGISTRY with its argument and whether the product's
// per-user settings still exist at that moment.  Built a second time without
// the entry (QF_WITHOUT_ENTRY), for a companion that lacks it.
#include <windows.h>

#include <cstdio>

#include "common/schema.h"
#include "companion_log.h"
#include "platform/unique_any.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    SetLogModule(instance);
    AppendLogLine("RWUNINST load");
  } else if (reason == DLL_PROCESS_DETACH) {
    AppendLogLine("RWUNINST unload");
  }
  return TRUE;
}

#ifndef QF_WITHOUT_ENTRY

namespace {

bool UserTreeExists() {
  qf::platform::UniqueAny<HKEY, &::RegCloseKey> key;
  return RegOpenKeyExA(HKEY_CURRENT_USER, qf::UserSettingsKey, 0, KEY_READ, key.Put()) ==
         ERROR_SUCCESS;
}

}  // namespace

extern "C" void __stdcall UNINSTALLVRXREGISTRY(const char* text) {
  char line[512];
  std::snprintf(line, sizeof line, "RWUNINST UNINSTALLVRXREGISTRY \"%s\" usertree=%s",
                text != nullptr ? text : "(null)", UserTreeExists() ? "present" : "absent");
  AppendLogLine(line);
}

#endif
