// Load and unload routine of QFUNINST.DLL.  The library's constants are
// compile-time texts, so there is nothing to build or release here: every
// notification is accepted.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
