// A plan's JSON read into what it allows.  Only the parts the lock needs
// are kept while parsing (the document's sentences and lists of what stays
// are dropped as they are read), so a plan of a large tree fits a 32-bit
// process.
#include <nlohmann/json.hpp>

#include "common/case_fold.h"
#include "common/paths.h"
#include "common/schema.h"
#include "common/version.h"
#include "plan/plan.h"
#include "plan/plan_format.h"
#include "record/run_record.h"

namespace qf::plan {
namespace {

using Json = nlohmann::json;
using namespace platform;

// A malformed plan: what is wrong with it.
struct Malformed {
  std::string why;
};

const Json& Field(const Json& object, const char* name) {
  const auto it = object.find(name);
  if (it == object.end()) throw Malformed{std::string("\"") + name + "\" is missing"};
  return *it;
}

std::string Text(const Json& object, const char* name) {
  const Json& value = Field(object, name);
  if (!value.is_string()) throw Malformed{std::string("\"") + name + "\" is no text"};
  return value.get<std::string>();
}

uint64_t Number(const Json& object, const char* name) {
  const Json& value = Field(object, name);
  if (!value.is_number_unsigned()) throw Malformed{std::string("\"") + name + "\" is no number"};
  return value.get<uint64_t>();
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  throw Malformed{"a value's data is no hexadecimal"};
}

std::string FromHex(const std::string& hex) {
  if (hex.size() % 2) throw Malformed{"a value's data is no hexadecimal"};
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2)
    bytes.push_back(static_cast<char>(HexDigit(hex[i]) * 16 + HexDigit(hex[i + 1])));
  return bytes;
}

std::string KeyPath(const Json& change) {
  Root root;
  if (!RootNamed(Text(change, field::kRoot), &root)) throw Malformed{"a change names no registry root"};
  return std::string(RootName(root)) + "\\" + Text(change, field::kPath);
}

// A count's value as the plan gives it, in the form MayLowerCount compares.
std::string CountText(const Json& value) {
  if (value.is_number_unsigned()) return std::to_string(value.get<uint64_t>());
  if (value.is_string()) return value.get<std::string>();
  throw Malformed{"a count is neither a text nor a number"};
}

void AddFile(const Json& change, journal::FileChange kind, Allowed* allowed) {
  const Json& identity = Field(change, field::kIdentity);
  PlannedFile file{kind,
                   {Number(identity, field::kVolume), Number(identity, field::kId),
                    Number(identity, field::kSize), Number(identity, field::kLastWrite)}};
  allowed->files[FoldName(Text(change, field::kPath))] = file;
}

void AddChange(const Json& change, Allowed* allowed) {
  if (!change.is_object()) throw Malformed{"a change is no object"};
  const std::string op = Text(change, field::kOp);
  if (op == record::op::kDeleteFile) return AddFile(change, journal::FileChange::DeleteFile, allowed);
  if (op == record::op::kRemoveLink) return AddFile(change, journal::FileChange::RemoveLink, allowed);
  if (op == record::op::kRemoveDirectory)
    return AddFile(change, journal::FileChange::RemoveDirectory, allowed);
  if (op == record::op::kDeleteKey) {
    allowed->keys[FoldName(KeyPath(change))] = true;
  } else if (op == record::op::kDeleteValue) {
    const Json& was = Field(change, field::kWas);
    const Json& type = Field(was, field::kType);
    if (!type.is_number_unsigned()) throw Malformed{"a value's type is no number"};
    allowed->values[FoldName(KeyPath(change) + "\\" + Text(change, field::kName))] = {
        type.get<uint32_t>(), FromHex(Text(was, field::kData))};
  } else if (op == record::op::kSetValue) {
    PlannedCount count{Text(change, field::kType) == kRegDwordName, CountText(Field(change, field::kWas)),
                       CountText(Field(change, field::kData))};
    allowed->counts[FoldName(KeyPath(change) + "\\" + Text(change, field::kName))] = count;
  } else {
    throw Malformed{"a change of an unknown kind \"" + op + "\""};
  }
}

// Whether the plan was made here, for this product and version.
std::string MadeElsewhere(const Json& plan, const std::string& computer) {
  if (!plan.is_object()) throw Malformed{"it is no plan"};
  const Json& format = Field(plan, field::kFormatField);
  if (!format.is_number_unsigned() || format.get<uint64_t>() != field::kFormat)
    return "it is a plan of another format";
  if (Text(plan, field::kProduct) != ProductKeyName || Text(plan, field::kVersion) != VersionKeyName ||
      Text(plan, field::kLibrary) != FileVersion)
    return "it was made for " + Text(plan, field::kProduct) + " " + Text(plan, field::kVersion) +
           " (library " + Text(plan, field::kLibrary) + "), not this version";
  if (!SameName(Text(plan, field::kComputer), computer))
    return "it was made on the computer " + Text(plan, field::kComputer) + ", not on " + computer;
  return "";
}

}  // namespace

std::string ParsePlan(const std::string& text, const std::string& computer, Allowed* allowed) {
  // Keeps the top level's plan, changes and calls, and drops what else each
  // change says (its decision and sentence).
  const Json::parser_callback_t keep = [](int depth, Json::parse_event_t event, Json& parsed) {
    if (event != Json::parse_event_t::key) return true;
    const std::string& name = parsed.get_ref<const std::string&>();
    if (depth == 1)
      return name == field::kPlan || name == field::kChanges || name == field::kCalls;
    return depth != 3 || (name != "decision" && name != "why");
  };
  const Json document = Json::parse(text, keep, /*allow_exceptions=*/false);
  if (document.is_discarded() || !document.is_object()) return "it is no JSON document";
  try {
    const std::string elsewhere = MadeElsewhere(Field(document, field::kPlan), computer);
    if (!elsewhere.empty()) return elsewhere;
    const Json& changes = Field(document, field::kChanges);
    const Json& calls = Field(document, field::kCalls);
    if (!changes.is_array() || !calls.is_array()) throw Malformed{"its changes or calls are no list"};
    for (const Json& change : changes) AddChange(change, allowed);
    for (const Json& call : calls) {
      if (!call.is_object()) throw Malformed{"a call is no object"};
      allowed->calls.push_back(FoldName(Text(call, field::kLibrary)) + "|" + Text(call, field::kEntry) +
                               "|" + Text(call, field::kArgument));
    }
  } catch (const Malformed& malformed) {
    *allowed = Allowed();
    return "it is malformed: " + malformed.why;
  } catch (const Json::exception&) {
    *allowed = Allowed();
    return "it is malformed";
  }
  return "";
}

}  // namespace qf::plan
