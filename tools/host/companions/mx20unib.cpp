// Stand-in for the MX20UNIB.DLL companion.  Logs its load and unload, and
// UNREGLIB if it is ever called.
#include <windows.h>

#include "companion_log.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    SetLogModule(instance);
    AppendLogLine("MX20UNIB load");
  } else if (reason == DLL_PROCESS_DETACH) {
    AppendLogLine("MX20UNIB unload");
  }
  return TRUE;
}

extern "C" void __stdcall UNREGLIB() { AppendLogLine("MX20UNIB UNREGLIB called"); }
