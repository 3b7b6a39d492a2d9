#include "exports/entry_points.h"

#include "pass/uninstall_pass.h"

extern "C" int32_t QF_STDCALL UninstInitialize(uint32_t, uint32_t, uint32_t) {
  // Nothing may escape into the host: a failure (even running out of memory)
  // ends the pass quietly, as every other failure of the pass does.
  try {
    qf::RunUninstallPass();
  } catch (...) {
  }
  return 0;
}

extern "C" int32_t QF_STDCALL UninstUnInitialize(uint32_t, uint32_t, uint32_t) {
  return 0;
}
