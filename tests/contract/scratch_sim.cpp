// Scratch areas in the simulated machine, which starts empty for every case.
#include "platform/sim/sim.h"
#include "scratch.h"

namespace qf::contract {
namespace {


class SimScratch final : public Scratch {
 public:
  explicit SimScratch(const std::string& caseName)
      : Scratch("Software\\QuillforgeContractTest\\" + caseName,
                "C:\\Temp\\QuillforgeContractTest\\" + caseName) {
    sim::Reset();
    sim::CreateKey(KeyRoot(), KeyPath());
    sim::MakeDir(Dir());
    sim::MakeDir("C:\\Windows\\System32");
  }

  // The next case resets the machine; nothing is left to clean up here.
  ~SimScratch() override = default;

  void CreateKey(const std::string& sub) override { sim::CreateKey(KeyRoot(), KeyPath(sub)); }

  void SetValue(const std::string& sub, const std::string& name, uint32_t type,
                const std::string& bytes) override {
    sim::SetValue(KeyRoot(), KeyPath(sub), name, type, bytes);
  }

  void MakeKeyLink(const std::string& sub, const std::string& targetSub) override {
    sim::MakeKeyLink(KeyRoot(), KeyPath(sub), KeyPath(targetSub));
  }

  bool KeyExists(const std::string& sub) override { return sim::KeyExists(KeyRoot(), KeyPath(sub)); }

  std::optional<StoredValue> Value(const std::string& sub, const std::string& name) override {
    const auto value = sim::GetValue(KeyRoot(), KeyPath(sub), name);
    if (!value) return std::nullopt;
    return StoredValue{value->type, value->data};
  }

  void MakeDir(const std::string& rel) override { sim::MakeDir(Path(rel)); }

  void MakeFile(const std::string& rel, bool readOnly) override {
    sim::MakeFile(Path(rel), readOnly ? platform::kAttrReadOnly : 0, rel);
  }

  std::optional<std::string> FileContents(const std::string& rel) override {
    return sim::FileContents(Path(rel));
  }

  std::string MakeLink(const std::string& rel, const std::string& targetRel,
                       bool directory) override {
    sim::MakeLink(Path(rel), Path(targetRel), directory);
    return "";
  }

  bool Exists(const std::string& rel) override { return sim::Exists(Path(rel)); }

  long Rename(const std::string& rel, const std::string& newRel) override {
    return sim::Rename(Path(rel), Path(newRel));
  }

  bool Wow64(bool wanted) override {
    if (wanted) sim::SetWow64();
    return wanted;
  }

  std::string CurrentDir() override { return sim::CurrentDir(); }

  TextEntry CurrentDirectorySetter() override {
    const TextEntry setter{"kernel32.dll", "SetCurrentDirectoryA"};
    sim::AddLibrary(setter.library);
    sim::AddEntry(setter.library, setter.entry, [](const char* path) { sim::SetCwd(path); });
    return setter;
  }
};

}  // namespace

std::unique_ptr<Scratch> NewScratch(const std::string& caseName) {
  return std::make_unique<SimScratch>(caseName);
}

std::optional<std::string> SystemFullPath(const std::string&) { return std::nullopt; }

std::string WineLinkQuirk() { return ""; }

}  // namespace qf::contract
