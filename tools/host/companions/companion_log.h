// Log shared by the companion stand-ins.  Each line is appended with one
// write to the file named by QF_COMPANION_LOG, or to companions.log beside the
// stand-in itself; safe to call from DllMain (kernel32 only).
#pragma once

#include <windows.h>

// Remembers the stand-in's module, so the default log path can be found.
void SetLogModule(HMODULE module);
// Appends `line` and a line end.
void AppendLogLine(const char* line);
