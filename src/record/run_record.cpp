#include "record/run_record.h"

#include <cstdio>

#include <nlohmann/json.hpp>

#include "common/schema.h"
#include "common/utf.h"
#include "common/version.h"
#include "linkproof/linkproof.h"
#include "ownership/ownership.h"

namespace qf::record {
namespace {

using namespace platform;
using Json = nlohmann::ordered_json;

// Written out once this much has gathered, and at the end of every step.
constexpr size_t kWriteAt = 64 * 1024;
// Names tried before the record gives up: the time, the process and 64
// random bits make a name that is new, and that nobody can take first.
constexpr int kNamesTried = 16;

// One line: texts as they are (UTF-8), control characters escaped.
std::string LineOf(const Json& line) {
  return line.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

// `text` as a JSON string, as LineOf writes it, appended to `out`: false,
// with nothing appended, for a text that is no UTF-8, which LineOf takes.
// Deleted files make most of a record's lines, and building an object for
// each costs several times the line.
bool AppendString(std::string* out, std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  bool ascii = true;
  for (const char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  std::u16string checked;
  if (!ascii && !ToUtf16(text, &checked)) return false;
  out->push_back('"');
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': *out += "\\\""; break;
      case '\\': *out += "\\\\"; break;
      case '\b': *out += "\\b"; break;
      case '\f': *out += "\\f"; break;
      case '\n': *out += "\\n"; break;
      case '\r': *out += "\\r"; break;
      case '\t': *out += "\\t"; break;
      default:
        if (byte < 0x20) {
          *out += "\\u00";
          out->push_back(kHex[byte >> 4]);
          out->push_back(kHex[byte & 15]);
        } else {
          out->push_back(c);
        }
    }
  }
  out->push_back('"');
  return true;
}

const char* FileOp(journal::FileChange change) {
  switch (change) {
    case journal::FileChange::DeleteFile: return op::kDeleteFile;
    case journal::FileChange::RemoveDirectory: return op::kRemoveDirectory;
    case journal::FileChange::RemoveLink: return op::kRemoveLink;
  }
  return "";
}

// "uninstall-20261208T131236123Z-1234-9f86d081884c7d65.jsonl" from the
// time, the process and random bits.
std::string FileName(const std::string& time, uint32_t process, uint64_t random) {
  std::string compact;
  for (char c : time)
    if (c != '-' && c != ':' && c != '.') compact += c;
  char bits[17];
  std::snprintf(bits, sizeof bits, "%016llx", static_cast<unsigned long long>(random));
  return "uninstall-" + compact + "-" + std::to_string(process) + "-" + bits + ".jsonl";
}

// Runs a part of the record; whatever fails in it ends the record, never
// the pass.
template <typename Part>
void Guarded(FileHandle* file, Part part) {
  if (!file->Valid()) return;
  try {
    part();
  } catch (...) {
    file->Close();
  }
}

}  // namespace

RecordPlace FindRecordPlace(FileHandle* directory) {
  RecordPlace place;
  {
    RegKey policy;
    // Reached as the pass reaches its keys: a link on the way, or in the
    // policy's place, is never followed.  The policies are one key in both
    // registry views, which Wine gives a 32-bit process on 64-bit Windows
    // through a link in the 32-bit view: in the 64-bit view (the only one
    // on 32-bit Windows) the key is itself.
    const long opened = OpenKeyAsItself(Root::LocalMachine, PolicyKey, kKeyRead, &policy, kKeyView64);
    const long read = opened != kSuccess ? opened
                                         : policy.ReadText(UninstallRecord, UninstallRecordCapacity, &place.dir);
    if (IsAbsent(read)) {
      place.why = "no policy asks for one";
      return place;
    }
    if (read != kSuccess) {
      place.why = "the policy cannot be read (error " + std::to_string(read) + ")";
      return place;
    }
  }
  FileHandle held;
  std::string finalPath;
  long code = 0;
  switch (OpenVerifiedRoot(place.dir, &held, &finalPath, &code)) {
    case RootCheck::Missing: place.why = "the directory is not there"; return place;
    case RootCheck::Unsafe:
      place.why = "the directory is no absolute path below a drive's or share's root";
      return place;
    case RootCheck::Refused:
      place.why = "the directory is a link, reached through one, no directory, or cannot be opened"
                  " (error " + std::to_string(code) + ")";
      return place;
    case RootCheck::Verified: break;
  }
  if (!ClearOfThePass(finalPath, &place.why)) return place;
  place.kept = true;
  if (directory) *directory = std::move(held);
  return place;
}

RunRecord::RunRecord() {
  try {
    Start();
  } catch (...) {
    file_.Close();
  }
}

RunRecord::~RunRecord() { Guarded(&file_, [&] { End(); }); }

void RunRecord::Start() {
  // Held only until the file is made below it.
  FileHandle directory;
  if (!FindRecordPlace(&directory).kept) return;
  RunFacts facts;
  if (ProcessFacts(&facts) != kSuccess) return;
  const std::string time = UtcTimeText();
  for (int attempt = 1; attempt <= kNamesTried && !file_.Valid(); ++attempt) {
    uint64_t random = 0;
    if (RandomBits(&random) != kSuccess) return;
    const long created = file_.CreateBelow(directory, FileName(time, facts.processId, random));
    if (created != kSuccess && created != kErrorAlreadyExists) return;
  }
  if (!file_.Valid()) return;
  Add(LineOf(Json{{"line", "start"},
                  {"format", kFormat},
                  {"product", ProductKeyName},
                  {"version", VersionKeyName},
                  {"library", FileVersion},
                  {"time", time},
                  {"process", facts.processId},
                  {"account", facts.account},
                  {"computer", facts.computer},
                  {"hostDir", facts.hostDir}}));
  WriteOut(/*flush=*/true);
}

void RunRecord::Add(const std::string& line) {
  pending_ += line;
  if (pending_.size() >= kWriteAt) WriteOut(/*flush=*/false);
}

void RunRecord::WriteOut(bool flush) {
  if (!file_.Valid()) return;
  if ((!pending_.empty() && file_.Write(pending_) != kSuccess) ||
      (flush && file_.Flush() != kSuccess)) {
    file_.Close();
    return;
  }
  pending_.clear();
}

void RunRecord::End() {
  Add(LineOf(Json{{"line", "end"},
                  {"complete", complete_},
                  {"totals",
                   {{"files", totals_.files},
                    {"directories", totals_.directories},
                    {"links", totals_.links},
                    {"keys", totals_.keys},
                    {"values", totals_.values},
                    {"changedValues", totals_.changedValues}}}}));
  WriteOut(/*flush=*/true);
  file_.Close();
}

void RunRecord::Decided(Decision decision, const std::string& subject, int64_t first,
                        int64_t second, const std::string& detail) {
  Guarded(&file_, [&] {
    Json line{{"line", "decision"},
              {"decision", RowOf(decision).name},
              {"subject", subject},
              {"first", first},
              {"second", second}};
    if (!detail.empty()) line["detail"] = detail;
    line["why"] = DecisionSentence(decision, subject, first, second, detail);
    Add(LineOf(line));
  });
}

void RunRecord::FileChanged(journal::FileChange change, const std::string& path) {
  Guarded(&file_, [&] {
    std::string line = std::string("{\"line\":\"change\",\"op\":\"") + FileOp(change) + "\",\"path\":";
    if (AppendString(&line, path))
      Add(line + "}\n");
    else
      Add(LineOf(Json{{"line", "change"}, {"op", FileOp(change)}, {"path", path}}));
    switch (change) {
      case journal::FileChange::DeleteFile: ++totals_.files; break;
      case journal::FileChange::RemoveDirectory: ++totals_.directories; break;
      case journal::FileChange::RemoveLink: ++totals_.links; break;
    }
  });
}

void RunRecord::KeyDeleted(Root root, const std::string& path) {
  Guarded(&file_, [&] {
    Add(LineOf(Json{{"line", "change"}, {"op", op::kDeleteKey}, {"root", RootName(root)},
                    {"path", path}}));
    ++totals_.keys;
  });
}

void RunRecord::ValueDeleted(Root root, const std::string& key, const std::string& name) {
  Guarded(&file_, [&] {
    Add(LineOf(Json{{"line", "change"}, {"op", op::kDeleteValue}, {"root", RootName(root)},
                    {"path", key}, {"name", name}}));
    ++totals_.values;
  });
}

void RunRecord::ValueWritten(Root root, const std::string& key, const std::string& name,
                             bool dword, uint32_t number, const std::string& text) {
  Guarded(&file_, [&] {
    Json line{{"line", "change"}, {"op", op::kSetValue}, {"root", RootName(root)},
              {"path", key},      {"name", name},
              {"type", dword ? kRegDwordName : kRegSzName}};
    if (dword)
      line["data"] = number;
    else
      line["data"] = text;
    Add(LineOf(line));
    ++totals_.changedValues;
  });
}

void RunRecord::Called(const std::string& library, const std::string& entry,
                       const std::string& argument) {
  Guarded(&file_, [&] {
    Add(LineOf(Json{{"line", "call"}, {"library", library}, {"entry", entry},
                    {"argument", argument}}));
  });
}

void RunRecord::Beeped() {
  Guarded(&file_, [&] { Add(LineOf(Json{{"line", "beep"}})); });
}

void RunRecord::BoxShown(const std::string& caption, const std::string& text, uint32_t icon) {
  Guarded(&file_, [&] {
    Add(LineOf(Json{{"line", "box"}, {"caption", caption}, {"text", text}, {"icon", icon}}));
  });
}

void RunRecord::StepEnded() {
  Guarded(&file_, [&] { WriteOut(/*flush=*/true); });
}

}  // namespace qf::record
