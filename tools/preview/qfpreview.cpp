// qfpreview: what uninstalling Quillforge 3.0 would do on this machine, for
// this account, without changing anything.
//
// It copies what the uninstall pass reads from this machine into the
// simulated Windows, runs the library's own uninstall logic there, and
// reports from what that did.  It imports no call that writes or deletes
// anything, and never loads a companion library.
//
//   qfpreview [--json] [--all] [--host-dir DIR]
//
// Exit code 0 (an installation that is absent or half-removed is reported,
// not an error), 2 for bad arguments, 1 if the preview itself failed.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string>

#include "capture.h"
#include "platform/sim/sim.h"
#include "report.h"

namespace {

// The directory of this program: the default place of the host, beside
// which the library and its companions are shipped.
std::string OwnDirectory() {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return ".";
  std::string dir(path, length);
  return dir.substr(0, dir.find_last_of("\\/"));
}

std::string CurrentDirectory() {
  char path[MAX_PATH] = {};
  const DWORD length = GetCurrentDirectoryA(MAX_PATH, path);
  return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
}

bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

void Write(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Shows what uninstalling Quillforge 3.0 would do on this machine, for this account: what "
      "would be removed, what would change and what would stay, and why.  Changes nothing.",
      "qfpreview"};
  bool json = false, all = false;
  qfpreview::HostPlace host{OwnDirectory(), CurrentDirectory()};
  app.add_flag("--json", json, "write one JSON document instead of the report for people");
  app.add_flag("--all", all, "list every file and key instead of one line per directory");
  app.add_option("--host-dir", host.dir,
                 "the uninstaller host's directory, where the library's loads of the companion "
                 "libraries search first (default: this program's directory, beside "
                 "QFUNINST.DLL)")
      ->check(CLI::ExistingDirectory);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : 2;
  }

  _setmode(_fileno(stdout), _O_BINARY);
  try {
    qfpreview::Snapshot snapshot;
    snapshot.underWine = UnderWine();
    qf::sim::Reset();
    qfpreview::CaptureRegistry(&snapshot);
    qfpreview::CaptureFiles(&snapshot);
    qfpreview::CaptureCompanions(host, &snapshot);
    const qfpreview::Report report = qfpreview::RunPreview(snapshot);
    Write(json ? qfpreview::FormatJson(report) : qfpreview::FormatText(report, all));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qfpreview: %s\n", error.what());
    return 1;
  }
  return 0;
}
