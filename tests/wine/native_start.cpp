// native_start.exe COMMAND...: starts COMMAND (a native program named by its
// Z: path) and exits.  Wine's CreateProcess of a unix program closes a
// handle slot of its caller that it never gave out, so the tests start such
// programs through this throwaway process rather than losing one of their
// own handles (a cached root key, say).
#include <windows.h>

#include <string>

int main() {
  // The command line after this program's own name, which may be quoted.
  const char *rest = GetCommandLineA();
  const char end = *rest == '"' ? '"' : ' ';
  for (rest += *rest == '"'; *rest != '\0' && *rest != end; ++rest) {
  }
  while (*rest == '"' || *rest == ' ') ++rest;
  std::string line(rest);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  // Wine returns no usable handle for a native process: none is closed.
  return CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)
             ? 0
             : 1;
}
