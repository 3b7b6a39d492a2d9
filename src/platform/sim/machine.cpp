// The one simulated machine: its state, the journal, operation counting and
// failure injection.
#include "platform/sim/machine.h"

#include <stdexcept>

namespace qf::sim {
namespace detail {

std::string Fold(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool ContainsFold(std::string_view text, std::string_view part) {
  return Fold(text).find(Fold(part)) != std::string::npos;
}

void Misuse(const std::string& what) {
  throw std::invalid_argument("simulation set-up: " + what);
}

Machine::Machine() {
  InitRegistry(*this);
  InitFiles(*this);
}

Machine& M() {
  static Machine machine;
  return machine;
}

uint64_t NextId() {
  static uint64_t next = 0;
  return ++next;
}

long BeginOp(Op op, std::initializer_list<std::string_view> paths) {
  Machine& m = M();
  ++m.operations;
  for (const PathRule& rule : m.pathRules) {
    if (rule.op != op) continue;
    for (std::string_view path : paths) {
      if (ContainsFold(path, rule.part)) return rule.code;
    }
  }
  for (const CountRule& rule : m.countRules) {
    if (m.operations == rule.n || (rule.andAfter && m.operations > rule.n)) {
      return platform::kErrorAccessDenied;
    }
  }
  return platform::kSuccess;
}

void Record(std::string kind, std::string path, std::string detail,
            uint32_t flags) {
  M().journal.push_back(
      JournalEntry{std::move(kind), std::move(path), std::move(detail), flags});
}

std::uintptr_t AddHandle(Handle handle) {
  const auto id = static_cast<std::uintptr_t>(NextId());
  M().handles.emplace(id, std::move(handle));
  return id;
}

void DropHandle(std::uintptr_t id) { M().handles.erase(id); }

}  // namespace detail

void Reset() { detail::M() = detail::Machine(); }

const std::vector<JournalEntry>& Journal() { return detail::M().journal; }

std::vector<JournalEntry> JournalOf(const std::string& kind) {
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

}  // namespace qf::sim
