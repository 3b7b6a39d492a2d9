// The uninstall pass's own cost, on the simulated Windows: the same shapes
// that scripts/bench removes under Wine, without any real registry or disk.
// What Wine adds on top of these figures is the platform's cost.
//
//   release_files/N   the shared component "Data" with N files, about 20 to a
//                     directory, three directory levels below its RootDir
//   user_tree/K       the per-user settings tree with K keys over four levels,
//                     three values in every key
//
// Counters: items (files or keys), per_item (seconds per item).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "common/paths.h"
#include "common/schema.h"
#include "exports/entry_points.h"
#include "platform/sim/sim.h"

namespace {

using qf::platform::Root;

constexpr char RootDir[] = "C:\\QFBench\\Shared\\Data";

struct FileShape {
  int items;
  int fanout[3];  // directories below RootDir, below those, below those
  int files;      // in each directory of the last level
};

// About 20 entries in every directory, three levels deep.
constexpr FileShape kFileShapes[] = {
    {1000, {2, 5, 5}, 20},
    {10000, {5, 10, 10}, 20},
    {50000, {10, 10, 25}, 20},
};

struct KeyShape {
  int items;
  int fanout[4];
  int values;
};

// Four levels below the version key; counts include the version key.
constexpr KeyShape kKeyShapes[] = {
    {1011, {10, 4, 4, 5}, 3},
    {10011, {10, 10, 9, 10}, 3},
};

void SetUpRelease(const FileShape& shape) {
  qf::sim::Reset();
  const std::string component = qf::JoinPath(qf::SharedKey, qf::DataComponent);
  qf::sim::SetText(Root::LocalMachine, qf::ProductVersionKey, qf::UseSharedFiles,
                   qf::SharedFilesUsed);
  qf::sim::SetText(Root::LocalMachine, qf::UnInstInfoKey, qf::UseSharedData, "1");
  qf::sim::SetText(Root::LocalMachine, qf::SharedKey, qf::SharedFilesDir, "C:\\QFBench\\Shared");
  qf::sim::SetText(Root::LocalMachine, component, qf::UseCount, "1");
  qf::sim::SetText(Root::LocalMachine, component, qf::RootDir, RootDir);
  char name[64];
  for (int a = 0; a < shape.fanout[0]; ++a) {
    for (int b = 0; b < shape.fanout[1]; ++b) {
      for (int c = 0; c < shape.fanout[2]; ++c) {
        std::snprintf(name, sizeof name, "%s\\d%02d\\d%02d\\d%02d\\", RootDir, a, b, c);
        const std::string dir = name;
        for (int f = 0; f < shape.files; ++f) {
          std::snprintf(name, sizeof name, "file%03d.dat", f);
          qf::sim::MakeFile(dir + name);
        }
      }
    }
  }
}

void AddValues(const std::string& key, int count, int serial) {
  for (int i = 0; i < count; ++i) {
    const std::string name = "Value" + std::to_string(i);
    if (i % 3 == 1)
      qf::sim::SetDword(Root::CurrentUser, key, name, static_cast<uint32_t>(serial));
    else
      qf::sim::SetText(Root::CurrentUser, key, name,
                       "C:\\Quillforge\\Settings\\Entry" + std::to_string(serial));
  }
}

void AddLevel(const std::string& parent, const KeyShape& shape, int level, int* serial) {
  static const char* const kPrefixes[] = {"Group", "Section", "Item", "Entry"};
  char name[32];
  for (int i = 0; i < shape.fanout[level]; ++i) {
    std::snprintf(name, sizeof name, "\\%s%02d", kPrefixes[level], i);
    const std::string key = parent + name;
    qf::sim::CreateKey(Root::CurrentUser, key);
    AddValues(key, shape.values, ++*serial);
    if (level + 1 < 4) AddLevel(key, shape, level + 1, serial);
  }
}

void SetUpUserTree(const KeyShape& shape) {
  qf::sim::Reset();
  const std::string top = qf::UserSettingsKey;
  qf::sim::CreateKey(Root::CurrentUser, top);
  AddValues(top, shape.values, 0);
  int serial = 0;
  AddLevel(top, shape, 0, &serial);
}

void SetCounters(benchmark::State& state, int items) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * items);
  state.counters["items"] = items;
  state.counters["per_item"] = benchmark::Counter(
      static_cast<double>(items), benchmark::Counter::kIsIterationInvariantRate |
                                      benchmark::Counter::kInvert);
}

void ReleaseFiles(benchmark::State& state, const FileShape& shape) {
  for (auto _ : state) {
    state.PauseTiming();
    SetUpRelease(shape);
    state.ResumeTiming();
    UninstInitialize(0, 0, 0);
    state.PauseTiming();
    if (qf::sim::Exists(RootDir)) state.SkipWithError("the component's files stayed");
    state.ResumeTiming();
  }
  SetCounters(state, shape.items);
}

void UserTree(benchmark::State& state, const KeyShape& shape) {
  for (auto _ : state) {
    state.PauseTiming();
    SetUpUserTree(shape);
    state.ResumeTiming();
    UninstInitialize(0, 0, 0);
    state.PauseTiming();
    if (qf::sim::KeyExists(Root::CurrentUser, qf::UserSettingsKey))
      state.SkipWithError("the per-user tree stayed");
    state.ResumeTiming();
  }
  SetCounters(state, shape.items);
}

}  // namespace

// Named by item count ("release_files/10000"), so a filter can pick sizes.
int main(int argc, char** argv) {
  for (const FileShape& shape : kFileShapes) {
    const std::string name = "release_files/" + std::to_string(shape.items);
    benchmark::RegisterBenchmark(name.c_str(), ReleaseFiles, shape)
        ->Unit(benchmark::kMillisecond);
  }
  for (const KeyShape& shape : kKeyShapes) {
    const std::string name = "user_tree/" + std::to_string(shape.items / 1000 * 1000);
    benchmark::RegisterBenchmark(name.c_str(), UserTree, shape)->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
