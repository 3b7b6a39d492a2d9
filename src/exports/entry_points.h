// The library's boundary with the uninstaller host.
#pragma once

#include <cstdint>

#include "common/schema.h"  // AdminRequiredMessage

// The host calls both entries with the platform's standard API convention, in
// which the callee removes its arguments from the stack.
#if defined(__i386__)
#define QF_STDCALL __attribute__((stdcall))
#else
#define QF_STDCALL
#endif

extern "C" {
// Runs the uninstall pass on the caller's thread.  The three values are the
// host's; none is read.  Always returns 0.
int32_t QF_STDCALL UninstInitialize(uint32_t a, uint32_t b, uint32_t c);
// Does nothing; always returns 0.
int32_t QF_STDCALL UninstUnInitialize(uint32_t a, uint32_t b, uint32_t c);
}
