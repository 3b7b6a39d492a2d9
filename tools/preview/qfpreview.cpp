// qfpreview: what uninstalling Quillforge 3.0 would do on this machine, for
// this account, without changing anything.
//
// It copies what the uninstall pass reads from this machine into the
// simulated Windows (capture/), runs the library's own uninstall logic there
// (run/), and reports from what that did and the reasons it gave (report/).
// It imports no call that writes or deletes anything, and never loads a
// companion library.
//
//   qfpreview [--json] [--all] [--host-dir DIR] [--library-dir DIR] [--against PLAN]
//   qfpreview [--json] [--all] --record FILE
//   qfpreview [--json] --compare PLAN RECORD
//
// With --record it tells a real run from the record the library kept of it
// (record/), through the same report; with --compare it lists where a run's
// record differs from a saved --json of the preview (compare/).  A --json
// prediction is also a plan an administrator may hold the uninstall to (the
// policy's UninstallPlan); with --against it predicts the run held to the
// plan PLAN, on the machine as it is now.
//
// Exit code 0 (an installation that is absent or half-removed is reported,
// not an error; with --compare: they agree), 3 with --compare when they
// differ, 2 for bad arguments, 1 if the preview itself failed (a file that
// cannot be read, or is not what it should be).
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "capture/capture.h"
#include "capture/win32.h"
#include "compare/compare.h"
#include "record/record.h"
#include "report/report.h"
#include "run/run.h"
#include "wide.h"

namespace {

using qf::tools::Utf8;
using qf::tools::Utf8Shown;
using qf::tools::Wide;

// A path a call hands out into a buffer that may need to grow; "" when it
// fails or cannot be carried exactly.
template <typename Get>
std::string PathFrom(Get get) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (int attempt = 0; attempt < 8; ++attempt) {
    const DWORD length = get(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    std::string path;
    if (length < buffer.size())
      return Utf8(std::wstring_view(buffer.data(), length), &path) ? path : std::string();
    buffer.resize(std::max<size_t>(length + 1, buffer.size() * 2));
  }
  return {};
}

// The directory of this program: the default place of the host, beside
// which the library and its companions are shipped.
std::string OwnDirectory() {
  const std::string path = PathFrom([](wchar_t* buffer, DWORD size) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer, size);
    return length == size ? size : length;  // cut short: ask again, larger
  });
  return path.empty() ? "." : path.substr(0, path.find_last_of("\\/"));
}

std::string CurrentDirectory() {
  return PathFrom([](wchar_t* buffer, DWORD size) { return GetCurrentDirectoryW(size, buffer); });
}

// The arguments as given, exactly: the wide command line, in UTF-8, in the
// reverse order that CLI11 takes them in (the program's name left out).
std::vector<std::string> Arguments() {
  std::vector<std::string> arguments;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return arguments;
  // An argument with a lone surrogate, which no UTF-8 carries, is given as
  // a stand-in that names nothing real, so a directory named so is not found.
  for (int i = count - 1; i > 0; --i) {
    std::string argument;
    if (!Utf8(wide[i], &argument)) argument = Utf8Shown(wide[i]);
    arguments.push_back(std::move(argument));
  }
  LocalFree(wide);
  return arguments;
}

// Writes the report: to a console as UTF-16, so that every name shows as it
// is whatever the console's code page; anywhere else as the UTF-8 bytes.
void Write(const std::string& text) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (GetFileType(out) == FILE_TYPE_CHAR && GetConsoleMode(out, &mode)) {
    const std::wstring wide = Wide(text);  // the report is UTF-8 throughout
    for (size_t at = 0; at < wide.size();) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(wide.size() - at, 8192));
      if (!WriteConsoleW(out, wide.data() + at, chunk, &written, nullptr) || written == 0) break;
      at += written;
    }
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

// A whole file's bytes, opened for reading only (through NtOpenFile, as the
// capture opens entries: the program imports no call that could create).
std::string ReadWhole(const std::string& path) {
  std::wstring wide, full;
  try {
    wide = Wide(path);
  } catch (const std::invalid_argument&) {
    throw std::runtime_error(path + ": not a name");
  }
  full.resize(GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr));
  if (full.empty() ||
      GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr) == 0)
    throw std::runtime_error(path + ": not a path");
  full.resize(wcslen(full.c_str()));
  std::string fullPath;
  if (!Utf8(full, &fullPath)) throw std::runtime_error(path + ": not a name");
  qfpreview::HandleGuard file;
  const NTSTATUS status = qfpreview::OpenObject(
      nullptr, qfpreview::NtPath(fullPath), GENERIC_READ | SYNCHRONIZE,
      FILE_NON_DIRECTORY_FILE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &file);
  if (status < 0)
    throw std::runtime_error(path + ": cannot be opened (error " +
                             std::to_string(RtlNtStatusToDosError(status)) + ")");
  std::string bytes;
  char buffer[65536];
  for (DWORD got = 0;; bytes.append(buffer, got)) {
    if (!ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr))
      throw std::runtime_error(path + ": cannot be read (error " +
                               std::to_string(GetLastError()) + ")");
    if (got == 0) return bytes;
  }
}

qfpreview::Report RecordReport(const std::string& path) {
  try {
    return qfpreview::BuildReport(qfpreview::ReadRecord(ReadWhole(path)));
  } catch (const qfpreview::RecordError& error) {
    throw std::runtime_error(path + ", " + error.what());
  }
}

// The plan against the run's record: 0 when they agree, 3 when not.
int Compare(const std::string& planPath, const std::string& recordPath, bool json) {
  qfpreview::OrderedJson plan;
  try {
    plan = qfpreview::OrderedJson::parse(ReadWhole(planPath));
  } catch (const qfpreview::OrderedJson::exception&) {
    throw std::runtime_error(planPath + ": not valid JSON");
  }
  const qfpreview::OrderedJson done =
      qfpreview::OrderedJson::parse(qfpreview::FormatJson(RecordReport(recordPath)));
  const qfpreview::Comparison comparison = qfpreview::Compare(plan, done);
  Write(json ? qfpreview::FormatComparisonJson(comparison)
             : "The plan " + planPath + " against the record " + recordPath + ".\n" +
                   qfpreview::FormatComparisonText(comparison));
  return comparison.differences.empty() ? 0 : 3;
}

}  // namespace

// The full path of `path` as given, for the policy.
std::string FullPath(const std::string& path) {
  std::wstring wide = Wide(path), full(32768, L'\0');
  const DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
  std::string utf8;
  if (length == 0 || length >= full.size() || !Utf8(std::wstring_view(full.data(), length), &utf8))
    throw std::runtime_error(path + ": not a path");
  return utf8;
}

// Below the report of a run held to a plan: how many of the plan's changes
// still hold, and how many items the lock would withhold.
std::string AgainstSummary(const std::string& planPath, const qfpreview::Report& report) {
  size_t planned = 0;
  try {
    const auto plan = qfpreview::OrderedJson::parse(ReadWhole(planPath));
    planned = plan.value("changes", qfpreview::OrderedJson::array()).size();
  } catch (const qfpreview::OrderedJson::exception&) {
  }
  size_t withheld = 0;
  bool refused = false;
  for (const qfpreview::Reason& reason : report.reasons) {
    withheld += qf::WithheldByPlan(reason.decision);
    refused = refused || reason.decision == qf::Decision::PlanUnusable;
  }
  if (refused) return "\nAgainst the plan " + planPath + ": it cannot be used, so nothing would change.\n";
  return "\nAgainst the plan " + planPath + ": " + std::to_string(report.changes.size()) + " of its " +
         std::to_string(planned) + " changes still hold; " + std::to_string(withheld) +
         " would be withheld (see what stays, and why, above).\n";
}

int main() {
  CLI::App app{
      "Shows what uninstalling Quillforge 3.0 would do on this machine, for this account: what "
      "would be removed, what would change and what would stay, and why.  Changes nothing.",
      "qfpreview"};
  bool json = false, all = false;
  qfpreview::HostPlace host{OwnDirectory(), CurrentDirectory(), OwnDirectory()};
  app.add_flag("--json", json, "write one JSON document instead of the report for people");
  app.add_flag("--all", all, "list every file and key instead of one line per directory");
  const CLI::Validator existing(
      [](std::string& dir) {
        const DWORD attributes = GetFileAttributesW(Wide(dir).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
                   ? std::string()
                   : "Directory does not exist: " + dir;
      },
      "DIR", "EXISTING_DIRECTORY");
  app.add_option("--host-dir", host.dir,
                 "the uninstaller host's directory, where the library's loads of the companion "
                 "libraries search first and which no root may be or hold (default: this "
                 "program's directory, beside QFUNINST.DLL)")
      ->check(existing);
  app.add_option("--library-dir", host.libraryDir,
                 "the directory QFUNINST.DLL is loaded from, which no root may be or hold "
                 "(default: this program's directory)")
      ->check(existing);
  std::string record, against;
  std::vector<std::string> compare;
  const auto recordOption = app.add_option(
      "--record", record,
      "report a real uninstall from the record the library kept of it, instead of predicting one")
      ->type_name("FILE");
  const auto againstOption = app.add_option(
      "--against", against,
      "predict the uninstall held to the plan PLAN (a saved --json of this program), as the "
      "policy UninstallPlan would hold it: which of its changes still hold on this machine, "
      "and which would be withheld, and why")
      ->type_name("PLAN")
      ->excludes(recordOption);
  app.add_option("--compare", compare,
                 "compare a plan (a saved --json of this program) with the record of the run; "
                 "exit code 3 when they differ")
      ->type_name("PLAN RECORD")
      ->expected(2)
      ->excludes(recordOption)
      ->excludes(againstOption);
  app.footer(
      "Exit codes: 0 done (with --compare: the run did what was predicted), 3 with --compare: "
      "they differ, 2 a bad argument, 1 the preview failed (a file unreadable or invalid).");
  _setmode(_fileno(stdout), _O_BINARY);
  try {
    std::vector<std::string> arguments = Arguments();
    app.parse(arguments);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : 2;
  }

  try {
    if (!compare.empty()) return Compare(compare[0], compare[1], json);
    if (!record.empty()) {
      const qfpreview::Report report = RecordReport(record);
      Write(json ? qfpreview::FormatJson(report) : qfpreview::FormatText(report, all));
      return 0;
    }
    const qfpreview::Snapshot snapshot = qfpreview::Capture(host);
    if (!against.empty()) qfpreview::HoldToPlan(FullPath(against));
    // Asked as the pass asks it, before the pass may remove what it reads.
    const qf::record::RecordPlace place = qf::record::FindRecordPlace(nullptr);
    const qfpreview::PassRecord pass = qfpreview::RunPass();
    qfpreview::Report report = qfpreview::BuildReport(snapshot, pass);
    report.recordPlace = place;
    Write(json ? qfpreview::FormatJson(report)
               : qfpreview::FormatText(report, all) + (against.empty() ? "" : AgainstSummary(against, report)));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qfpreview: %s\n", error.what());
    return 1;
  }
  return 0;
}
