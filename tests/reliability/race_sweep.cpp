// Another process races the pass: at each platform call of an uninstall of
// the sample installation, it swaps one entry of the released trees (each in
// turn: a directory, a file, a root, the shared area) for a link to a canary
// tree, moving the entry aside, as an attacker who can write there would;
// each directory also for a real directory of decoys, and each directory link
// for decoys in place (same id, another kind).  A rename is refused while the
// pass holds the entry open, as Windows refuses it.  After each run the canary
// must be untouched, the decoys too when they came after their parent's
// listing, the invariants hold and the run's record tell its journal whole.
// Prints "race sweep: R runs, K kept the canary"; fails unless every run kept
// the canary and every invariant.  "--shard i/N" makes the i-th of N shares of
// the runs, "--seed N" samples the calls it picks at random again, "--all"
// swaps at every call.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "exports/entry_points.h"
#include "decisions_made.h"
#include "invariants.h"
#include "record_check.h"
#include "platform/sim/sim.h"
#include "sample.h"
#include "support.h"

namespace {

using namespace qf;
using namespace qf::reliability;

const std::string kCanary = "C:\\Canary";
const std::string kCanaryFile = kCanary + "\\precious.txt";
const std::string kDecoy = "C:\\Decoy";
const char* const kDecoys[] = {"precious.txt", "a.dat", "sub\\b.dat"};

enum class Move { Link, Directory, InPlace };

// Swaps at calls chosen at random for each entry, besides those that concern it.
constexpr int kSampled = 4;

std::vector<Link> BuildWithCanary() {
  std::vector<Link> links = BuildSample(/*lastHolder=*/true);
  // Named like entries of the trees, so a path that slips into the canary
  // finds something to delete.
  for (const char* file : {"precious.txt", "a.dat", "sub\\b.dat", "ref\\api.hlp", "icons\\a.ico",
                           "Data\\a.dat"})
    sim::MakeFile(kCanary + "\\" + file);
  for (const char* file : kDecoys) sim::MakeFile(kDecoy + "\\" + file);
  KeepRecords();
  return links;
}

// The check's picture of the machine follows the swap: what was moved is
// expected under its new name, and so is the link.
void FollowSwap(Snapshot* before, const std::string& entry, const std::string& moved,
                bool placed = true) {
  std::set<std::string> files;
  for (const std::string& path : before->files) {
    if (AtOrBelow(path, entry) && sim::Exists(moved + path.substr(entry.size())))
      files.insert(Fold(moved + path.substr(entry.size())));
    else
      files.insert(path);
  }
  if (placed) files.insert(Fold(entry));
  before->files = files;
  // A tree moved with its ancestor is still the pass's own: directories it
  // holds open move with it and are deleted under their new names.
  const std::vector<ComponentState> components = before->components;
  for (ComponentState c : components) {
    if (!Below(c.tree, entry)) continue;
    c.tree = moved + c.tree.substr(entry.size());
    before->components.push_back(c);
  }
}

// Deletions journaled after the swap at or below the link, the link itself
// excepted: reached through it.
std::vector<std::string> ThroughTheLink(size_t from, const std::string& link) {
  std::vector<std::string> bad;
  const std::vector<sim::JournalEntry>& journal = sim::Journal();
  for (size_t i = from; i < journal.size(); ++i) {
    if ((journal[i].kind == sim::Change::DeleteFile || journal[i].kind == sim::Change::RemoveDirectory) &&
        Below(journal[i].path, link))
      bad.push_back(std::string(sim::ChangeName(journal[i].kind)) + " " + journal[i].path + ": through the link " + link);
  }
  return bad;
}

struct Totals {
  int runs = 0, kept = 0, swapped = 0, refused = 0;
  std::set<std::string> decided;
};

struct Outcome {
  uint64_t operations = 0;  // the pass made
  bool gone = false;        // the entry was gone when the swap was tried
};

// The operation that lists `dir`, found by failing it; none when the pass
// never lists it (the roots' parents).
uint64_t ListedAt(const std::string& dir) {
  BuildWithCanary();
  sim::FailWhen(sim::Op::FileList, dir);
  UninstInitialize(0, 0, 0);
  for (const std::string& hit : sim::FailuresHit())
    if (SameFold(hit.substr(hit.find(' ') + 1), dir)) return std::stoull(hit);
  return UINT64_MAX;
}

// Makes `move` of `entry` now, with the check's picture following it.
long Make(Move move, const std::string& entry, bool directory, Snapshot* before) {
  const std::string moved = entry + ".moved";
  if (move == Move::InPlace) {
    if (long failed = sim::ClearReparsePoint(entry)) return failed;
    for (const char* file : kDecoys)
      sim::MakeFile(entry + "\\" + file), before->files.insert(Fold(entry + "\\" + file));
    before->files.insert(Fold(entry + "\\sub"));
    auto& links = before->realLinks;
    links.erase(std::remove_if(links.begin(), links.end(),
                               [&](const auto& link) { return SameFold(link.first, entry); }),
                links.end());
    return 0;
  }
  if (long failed = sim::Rename(entry, moved)) return failed;
  FollowSwap(before, entry, moved, move == Move::Link);
  before->appeared.push_back(moved);
  if (move == Move::Link) {
    sim::MakeLink(entry, directory ? kCanary : kCanaryFile, directory);
  } else if (sim::Rename(kDecoy, entry) == 0) {
    FollowSwap(before, kDecoy, entry, false);
  }
  return 0;
}

// One run with `move` of `entry` at operation `n` (none for 0); the decoys
// must stay when it came after `listedAt`.
Outcome Run(const std::string& entry, bool directory, uint64_t n, Totals* totals,
            Move move = Move::Link, uint64_t listedAt = UINT64_MAX) {
  const std::vector<Link> links = BuildWithCanary();
  sim::LogCalls(n == 0);  // which calls concern which entry
  const std::vector<std::string> canary = sim::Tree(kCanary);
  Snapshot before = Capture(links);
  Outcome outcome;
  size_t swappedAt = 0;
  bool swapped = false;
  if (n > 0) {
    sim::AtOperation(n, [&] {
      const long renamed = Make(move, entry, directory, &before);
      outcome.gone = renamed == platform::kErrorFileNotFound || renamed == platform::kErrorPathNotFound;
      if (renamed != 0) {
        totals->refused += outcome.gone ? 0 : 1;
        return;
      }
      // Behind a link, or come after the listing: not the pass's to decide on.
      if (move == Move::Link || n > listedAt) before.appeared.push_back(entry);
      swappedAt = sim::Journal().size();
      swapped = true;
      ++totals->swapped;
    });
  }
  std::vector<std::string> bad;
  if (UninstInitialize(0, 0, 0) != 0) bad.push_back("UninstInitialize did not return 0");
  outcome.operations = sim::OperationCount();
  NoteDecisions(&totals->decided);
  if (sim::Tree(kCanary) != canary) bad.push_back("the canary was touched");
  for (const char* file : kDecoys)
    if (swapped && move != Move::Link && n > listedAt && !sim::Exists(entry + "\\" + file))
      bad.push_back(std::string("the decoy ") + file + " was deleted");
  // The record is kept through every race, and tells the journal.
  const bool renamed = swapped && move != Move::InPlace;
  for (std::vector<std::string> found :
       {CheckInvariants(before, 1), CheckStaysCovered(before, 1),
        CheckRecord(RecordRun{false, true, false, renamed ? entry : "", renamed ? entry + ".moved" : "", ""}),
        swapped && move == Move::Link ? ThroughTheLink(swappedAt, entry)
                                      : std::vector<std::string>{}})
    bad.insert(bad.end(), found.begin(), found.end());
  ++totals->runs;
  if (bad.empty()) {
    ++totals->kept;
  } else {
    std::printf("%s swapped at operation %llu:\n", entry.c_str(), static_cast<unsigned long long>(n));
    for (const std::string& line : bad) std::printf("  %s\n", line.c_str());
  }
  return outcome;
}

}  // namespace

int main(int argc, char** argv) {
  const SweepArgs args = ParseSweepArgs(argc, argv);
  const uint64_t seed = args.seeded ? args.seed : std::random_device{}();
  BuildWithCanary();
  std::vector<std::pair<std::string, bool>> entries = {{kArea, true}};
  std::vector<std::string> directoryLinks;
  for (const std::string& root : {kDataRoot, kHelpRoot, kImageRoot}) {
    entries.emplace_back(root, true);
    for (const std::string& path : sim::Tree(root)) {
      const uint32_t attributes = sim::Attributes(path).value_or(0);
      if ((attributes & platform::kAttrReparsePoint) == 0)
        entries.emplace_back(path, (attributes & platform::kAttrDirectory) != 0);
      else if (attributes & platform::kAttrDirectory)
        directoryLinks.push_back(path);
    }
  }
  Totals totals;
  const uint64_t operations = Run("", false, 0, &totals).operations;
  // A swap between two calls that concern neither the entry nor what holds
  // it or lies in it makes the same run as one at the next call that does:
  // swaps are made there, and at a few calls the seed picks before the last
  // of them, so that every call stays within reach.
  std::mt19937_64 random(seed);
  std::map<std::string, std::set<uint64_t>> at, sampled;
  for (const auto& [entry, directory] : entries) at[entry];
  for (const std::string& link : directoryLinks) at[link];
  for (auto& [entry, points] : at) {
    for (uint64_t n : sim::ChangePoints(entry)) points.insert(n);
    for (uint64_t n = 1; args.all && n <= operations; ++n) points.insert(n);
    for (int k = 0; k < kSampled && !args.all; ++k)
      if (const uint64_t n = 1 + random() % *points.rbegin(); points.insert(n).second) sampled[entry].insert(n);
  }
  uint64_t run = 0, made = 0;  // the runs' numbers are the same in every shard
  auto sweep = [&](const std::string& entry, bool directory, Move move, uint64_t listedAt) {
    uint64_t number = run;
    for (uint64_t n : at[entry]) {
      if (!args.Mine(++number) || n > operations) continue;
      const std::set<std::string> decided = totals.decided;  // only from the runs every seed makes
      ++made;
      const bool gone = Run(entry, directory, n, &totals, move, listedAt).gone;
      if (sampled[entry].count(n)) totals.decided = decided;
      // Once the pass has deleted the entry, there is nothing left to swap.
      if (gone) return;
    }
  };
  for (const auto& [entry, directory] : entries) {
    sweep(entry, directory, Move::Link, UINT64_MAX);
    run += at[entry].size();
  }
  // The same id in another kind, and another real directory of the same kind.
  std::vector<std::pair<std::string, Move>> moves;
  for (const std::string& link : directoryLinks) moves.emplace_back(link, Move::InPlace);
  for (const auto& [entry, directory] : entries)
    if (directory) moves.emplace_back(entry, Move::Directory);
  for (const auto& [entry, move] : moves) {
    // A root's parent is never listed: what counts for a root is its own listing.
    uint64_t listedAt = ListedAt(entry.substr(0, entry.rfind('\\')));
    if (listedAt == UINT64_MAX) listedAt = ListedAt(entry);
    sweep(entry, true, move, listedAt);
    run += at[entry].size();
  }
  std::printf("%zu entries swapped in %llu runs over %llu calls (shard %llu/%llu): %d swaps made, %d refused "
              "while held\n",
              entries.size() + moves.size(), static_cast<unsigned long long>(made),
              static_cast<unsigned long long>(operations), static_cast<unsigned long long>(args.shard),
              static_cast<unsigned long long>(args.shards), totals.swapped, totals.refused);
  std::printf("race sweep: %d runs, %d kept the canary (--seed %llu picked the calls sampled)\n", totals.runs,
              totals.kept, static_cast<unsigned long long>(seed));
  WriteDecisions(totals.decided, args.decisions);
  return totals.kept == totals.runs ? 0 : 1;
}
