// The one simulated machine: its state, the journal, operation counting and
// failure injection.
#include "platform/sim/machine.h"

#include <algorithm>
#include <iterator>
#include <set>
#include <new>
#include <stdexcept>

#include "common/case_fold.h"
#include "common/paths.h"

namespace qf::sim {
namespace detail {

std::string Fold(std::string_view text) { return FoldName(text); }

bool ContainsFold(std::string_view text, std::string_view part) {
  return Fold(text).find(Fold(part)) != std::string::npos;
}

void Misuse(const std::string& what) {
  throw std::invalid_argument("simulation set-up: " + what);
}

Machine::Machine() {
  InitRegistry(*this);
  InitFiles(*this);
  InitRunFacts(*this);
}

Machine& M() {
  static Machine machine;
  return machine;
}

// The process the calls come from: where it dies, whether it has, and the
// injected failures that hit its calls.
struct Process {
  uint64_t haltAt = 0;
  bool dead = false;
  std::vector<std::string> failuresHit;
  std::vector<Op> failedOps;  // the call of each, in the same order
};

Process& P() {
  static Process process;
  return process;
}

uint64_t NextId() {
  static uint64_t next = 0;
  return ++next;
}

uint64_t& FileStamps() {
  static uint64_t next = 0;
  return next;
}

uint64_t NextFileStamp() { return ++FileStamps(); }

long BeginOp(Op op, std::initializer_list<std::string_view> paths) {
  Machine& m = M();
  ++m.operations;
  if (m.logCalls) m.callLog.push_back(LoggedCall{m.operations, op, false, {paths.begin(), paths.end()}});
  // Actions run with the operation's number taken, before its effect.
  const auto [first, last] = m.actions.equal_range(m.operations);
  std::vector<std::function<void()>> due;
  for (auto it = first; it != last; ++it) due.push_back(it->second);
  for (const auto& action : due) action();
  Process& process = P();
  if (process.haltAt != 0 && m.operations >= process.haltAt) {
    if (!process.dead) m.handles.clear();
    process.dead = true;
    return platform::kErrorInvalidHandle;
  }
  const auto hit = [&](long code) {
    const std::string_view shown = paths.size() > 0 ? *paths.begin() : std::string_view();
    process.failuresHit.push_back(std::to_string(m.operations) + " " + std::string(shown));
    process.failedOps.push_back(op);
    return code;
  };
  for (std::string_view path : paths) {
    if (m.throwAt == 0 || !ContainsFold(path, m.throwPart)) continue;
    if (++m.throwSeen == m.throwAt) {
      hit(0);
      throw std::bad_alloc();
    }
    break;
  }
  for (const PathRule& rule : m.pathRules) {
    if (rule.op != op) continue;
    for (std::string_view path : paths) {
      if (ContainsFold(path, rule.part)) return hit(rule.code);
    }
  }
  for (const CountRule& rule : m.countRules) {
    if (m.operations == rule.n || (rule.andAfter && m.operations > rule.n)) {
      return hit(platform::kErrorAccessDenied);
    }
  }
  return platform::kSuccess;
}

JournalEntry* Record(Change kind, std::string path, std::string detail, uint32_t flags) {
  static JournalEntry unkept;  // a dead process journals nothing
  if (P().dead) return &unkept;
  M().journal.push_back(JournalEntry{kind, std::move(path), std::move(detail), flags, {}, {}});
  return &M().journal.back();
}

void RecordDecision(Decision decision, const std::string& subject, int64_t first,
                    int64_t second, const std::string& detail) {
  if (P().dead) return;
  M().decisions.push_back(
      DecisionEntry{decision, subject, first, second, M().journal.size(), detail});
}

void RecordStepEnd() {
  if (!P().dead) M().stepEnds.push_back(StepEnd{M().journal.size(), M().decisions.size()});
}

std::uintptr_t AddHandle(Handle handle) {
  const auto id = static_cast<std::uintptr_t>(NextId());
  M().handles.emplace(id, std::move(handle));
  return id;
}

void DropHandle(std::uintptr_t id) { M().handles.erase(id); }

}  // namespace detail

void Reset() {
  detail::FileStamps() = 0;
  detail::M() = detail::Machine();
  detail::P() = detail::Process();
}

const std::vector<JournalEntry>& Journal() { return detail::M().journal; }
const std::vector<DecisionEntry>& Decisions() { return detail::M().decisions; }
const std::vector<StepEnd>& StepEnds() { return detail::M().stepEnds; }

const char* ChangeName(Change change) {
  static const char* const kNames[] = {"RegDeleteKey", "RegSetValue",     "RegDeleteValue",
                                       "DeleteFile",   "RemoveDirectory", "Beep",
                                       "MessageBox",   "LoadLibrary",     "Lookup",
                                       "FreeLibrary",  "Call"};
  static_assert(std::size(kNames) == static_cast<size_t>(Change::Call) + 1);
  return kNames[static_cast<size_t>(change)];
}

bool IsRegistryChange(Change change) {
  return change == Change::RegDeleteKey || change == Change::RegSetValue ||
         change == Change::RegDeleteValue;
}

std::vector<JournalEntry> JournalOf(Change kind) {
  std::vector<JournalEntry> out;
  for (const JournalEntry& entry : detail::M().journal) {
    if (entry.kind == kind) out.push_back(entry);
  }
  return out;
}

int OpenHandles() { return static_cast<int>(detail::M().handles.size()); }

uint64_t OperationCount() { return detail::M().operations; }

void FailWhen(Op op, const std::string& pathPart, long code) {
  detail::M().pathRules.push_back(detail::PathRule{op, pathPart, code});
}

void FailAt(uint64_t n, bool andAfter) {
  detail::M().countRules.push_back(detail::CountRule{n, andAfter});
}

void AtOperation(uint64_t n, std::function<void()> action) {
  detail::M().actions.emplace(n, std::move(action));
}

void LogCalls(bool on) {
  detail::M().logCalls = on;
  detail::M().callLog.clear();
}

const std::vector<LoggedCall>& CallLog() { return detail::M().callLog; }

std::vector<uint64_t> ChangePoints(const std::string& path) {
  const std::string entry = detail::Fold(path);
  const auto related = [&](const std::string& named) {
    const std::string other = detail::Fold(named);
    const std::string& shorter = other.size() < entry.size() ? other : entry;
    const std::string& longer = other.size() < entry.size() ? entry : other;
    return !shorter.empty() && longer.compare(0, shorter.size(), shorter) == 0 &&
           (longer.size() == shorter.size() || longer[shorter.size()] == '\\' ||
            shorter.back() == '\\');
  };
  std::set<uint64_t> points{1};
  for (const LoggedCall& call : detail::M().callLog)
    if (std::any_of(call.paths.begin(), call.paths.end(), related))
      points.insert(call.close ? call.n : call.n + 1);
  return {points.begin(), points.end()};
}

const std::vector<std::string>& FailuresHit() { return detail::P().failuresHit; }
const std::vector<Op>& FailedOps() { return detail::P().failedOps; }

void ThrowAt(const std::string& pathPart, uint64_t nth) {
  detail::M().throwPart = pathPart;
  detail::M().throwAt = nth;
  detail::M().throwSeen = 0;
}

bool Thrown() { return detail::M().throwAt != 0 && detail::M().throwSeen >= detail::M().throwAt; }

void HaltAt(uint64_t n) {
  detail::P().haltAt = n;
  detail::P().dead = false;
}

namespace {

const detail::RegNode* FindKeyNode(Root root, const std::string& path) {
  const detail::RegNode* node = detail::M().registry.at(root).get();
  for (const std::string& part : SplitPath(detail::SetUpKeyPath(root, path))) {
    auto it = node->subkeys.find(detail::Fold(part));
    if (it == node->subkeys.end()) return nullptr;
    node = it->second.get();
  }
  return node;
}

}  // namespace

std::vector<std::string> ValueNames(Root root, const std::string& key) {
  std::vector<std::string> names;
  if (const detail::RegNode* node = FindKeyNode(root, key)) {
    for (const auto& [folded, value] : node->values) names.push_back(value.name);
  }
  return names;
}

std::pair<bool, bool> KeyRights(Root root, const std::string& path) {
  const detail::RegNode* node = FindKeyNode(root, path);
  if (!node) detail::Misuse("KeyRights of a missing key " + path);
  return {node->canOpen, node->canWrite};
}

bool HasEntry(const std::string& library, const std::string& entry) {
  auto it = detail::M().libraries.find(detail::Fold(library));
  return it != detail::M().libraries.end() && it->second->entries.count(entry) > 0;
}

}  // namespace qf::sim
