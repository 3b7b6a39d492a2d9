// Each line of a record becomes what the simulated pass would have handed
// over for the same step: a change or a call an Action, a decision a
// DecisionEntry placed after the actions before it.  Lines are checked as
// they are read; the first one that cannot be taken stops the reading.
#include "record/record.h"

#include <limits>
#include <nlohmann/json.hpp>

#include "common/decisions.h"
#include "platform/platform.h"
#include "record/run_record.h"

namespace qfpreview {
namespace {

using Json = nlohmann::json;
namespace sim = qf::sim;

// What is wrong with a line; the reader adds its number.
struct Wrong : std::runtime_error {
  using std::runtime_error::runtime_error;
};

const Json& Field(const Json& line, const char* name) {
  const auto it = line.find(name);
  if (it == line.end()) throw Wrong(std::string("no \"") + name + "\"");
  return *it;
}

std::string Text(const Json& line, const char* name) {
  const Json& field = Field(line, name);
  if (!field.is_string()) throw Wrong(std::string("\"") + name + "\" is not a text");
  return field.get<std::string>();
}

int64_t Number(const Json& line, const char* name) {
  const Json& field = Field(line, name);
  if (!field.is_number_integer() ||
      (field.is_number_unsigned() &&
       field.get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())))
    throw Wrong(std::string("\"") + name + "\" is not a whole number");
  return field.get<int64_t>();
}

uint64_t Count(const Json& totals, const char* name) {
  const int64_t n = Number(totals, name);
  if (n < 0) throw Wrong(std::string("\"") + name + "\" is negative");
  return static_cast<uint64_t>(n);
}

qf::platform::Root RootNamed(const std::string& name) {
  qf::platform::Root root{};
  if (!qf::platform::RootNamed(name, &root)) throw Wrong("unknown root \"" + name + "\"");
  return root;
}

qf::Decision DecisionNamed(const std::string& name) {
  for (const qf::DecisionRow& row : qf::kDecisionRows)
    if (name == row.name) return row.decision;
  throw Wrong("unknown decision \"" + name + "\"");
}

// The value a set-value line wrote, as the registry holds it: a text with
// its terminating null, a number as its four bytes.
sim::Value Written(const Json& line) {
  const std::string type = Text(line, "type");
  if (type == qf::platform::kRegSzName)
    return sim::Value{qf::platform::kRegSz, Text(line, "data") + '\0'};
  if (type != qf::platform::kRegDwordName) throw Wrong("unknown value type \"" + type + "\"");
  const int64_t number = Number(line, "data");
  if (number < 0 || number > 0xFFFFFFFFLL) throw Wrong("\"data\" is no REG_DWORD");
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((number >> (8 * i)) & 0xFF));
  return sim::Value{qf::platform::kRegDword, bytes};
}

Action ChangeOf(const Json& line) {
  const std::string op = Text(line, "op");
  Action action;
  namespace ops = qf::record::op;
  if (op == ops::kDeleteFile || op == ops::kRemoveDirectory || op == ops::kRemoveLink) {
    action.kind = op == ops::kRemoveDirectory ? ActionKind::RemoveDirectory : ActionKind::DeleteFile;
    action.link = op == ops::kRemoveLink;
    action.path = Text(line, "path");
    return action;
  }
  action.root = RootNamed(Text(line, "root"));
  action.path = Text(line, "path");
  if (op == ops::kDeleteKey) {
    action.kind = ActionKind::DeleteKey;
  } else if (op == ops::kDeleteValue) {
    action.kind = ActionKind::DeleteValue;
    action.detail = Text(line, "name");
  } else if (op == ops::kSetValue) {
    action.kind = ActionKind::SetValue;
    action.detail = Text(line, "name");
    action.written = Written(line);
  } else {
    throw Wrong("unknown change \"" + op + "\"");
  }
  return action;
}

void ReadStart(const Json& line, RecordFacts* facts) {
  if (Number(line, "format") != qf::record::kFormat)
    throw Wrong("a record of another format than " + std::to_string(qf::record::kFormat));
  facts->product = Text(line, "product");
  facts->version = Text(line, "version");
  facts->library = Text(line, "library");
  facts->time = Text(line, "time");
  facts->process = Number(line, "process");
  facts->account = Text(line, "account");
  facts->hostDir = Text(line, "hostDir");
}

void ReadEnd(const Json& line, RecordFacts* facts) {
  const Json& complete = Field(line, "complete");
  if (!complete.is_boolean()) throw Wrong("\"complete\" is not true or false");
  const Json& totals = Field(line, "totals");
  if (!totals.is_object()) throw Wrong("\"totals\" is not an object");
  facts->counts = PassCounts{Count(totals, "files"), Count(totals, "directories"),
                             Count(totals, "links"),  Count(totals, "keys"),
                             Count(totals, "values"), Count(totals, "changedValues")};
  facts->complete = complete.get<bool>();
  facts->ended = true;
}

// One line after the start line, into the record.
void ReadLine(const Json& line, RunRecord* record) {
  const std::string kind = Text(line, "line");
  PassRecord& pass = record->pass;
  if (kind == "change") {
    pass.actions.push_back(ChangeOf(line));
  } else if (kind == "decision") {
    sim::DecisionEntry entry;
    entry.decision = DecisionNamed(Text(line, "decision"));
    entry.subject = Text(line, "subject");
    entry.first = Number(line, "first");
    entry.second = Number(line, "second");
    if (line.contains("detail")) entry.detail = Text(line, "detail");
    entry.at = pass.actions.size();
    pass.decisions.push_back(std::move(entry));
  } else if (kind == "call") {
    Action call;
    call.kind = ActionKind::Call;
    call.path = Text(line, "library") + "!" + Text(line, "entry");
    call.detail = Text(line, "argument");
    pass.actions.push_back(std::move(call));
  } else if (kind == "beep") {
    pass.actions.push_back(Action{});
  } else if (kind == "box") {
    Action box;
    box.kind = ActionKind::MessageBox;
    box.path = Text(line, "caption");
    box.detail = Text(line, "text");
    pass.actions.push_back(std::move(box));
  } else if (kind == "end") {
    ReadEnd(line, &record->facts);
  } else if (kind == "start") {
    throw Wrong("a second start line");
  } else {
    throw Wrong("a line of an unknown kind \"" + kind + "\"");
  }
}

}  // namespace

RunRecord ReadRecord(std::string_view text) {
  RunRecord record;
  RecordFacts& facts = record.facts;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  size_t number = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t eol = text.find('\n', at);
    const bool terminated = eol != std::string_view::npos;
    std::string_view bytes = text.substr(at, terminated ? eol - at : std::string_view::npos);
    at = terminated ? eol + 1 : text.size();
    if (!bytes.empty() && bytes.back() == '\r') bytes.remove_suffix(1);
    ++number;
    Json line;
    try {
      line = Json::parse(bytes);
    } catch (const Json::exception&) {
      // A last line without its line break that is no JSON is where the
      // writing stopped; anywhere else the record is damaged.
      if (!terminated && number > 1 && !facts.ended) {
        facts.cutInLine = true;
        break;
      }
      throw RecordError(number, "not valid JSON");
    }
    try {
      if (!line.is_object()) throw Wrong("not a JSON object");
      if (facts.ended) throw Wrong("a line after the end line");
      if (number == 1) {
        if (Text(line, "line") != "start") throw Wrong("a record begins with its start line");
        ReadStart(line, &facts);
      } else {
        ReadLine(line, &record);
      }
    } catch (const Wrong& wrong) {
      throw RecordError(number, wrong.what());
    } catch (const Json::exception& error) {
      throw RecordError(number, error.what());
    }
    facts.lines = number;
  }
  if (number == 0) throw RecordError(1, "the record is empty");
  return record;
}

}  // namespace qfpreview
