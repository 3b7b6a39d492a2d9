// What the pass finds before it runs, read from the simulation as the pass
// reads it: the flags, the component records, the shared area.
#include "before.h"

#include "common/paths.h"
#include "common/schema.h"
#include "pass_reads.h"

namespace qfpreview {

using qf::platform::Root;
namespace sim = qf::sim;

std::optional<sim::Value> Read(Root root, const std::string& key, const char* name,
                               uint32_t capacity) {
  std::optional<sim::Value> value = sim::GetValue(root, key, name);
  if (value && value->data.size() > capacity) return std::nullopt;
  return value;
}

std::string TextOf(const std::string& data) { return data.substr(0, data.find('\0')); }

uint32_t DwordOf(const std::string& data) {
  uint32_t number = 0;
  for (size_t i = 0; i < data.size() && i < 4; ++i)
    number |= static_cast<uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
  return number;
}

std::string Shown(const sim::Value& value) {
  if (value.type == qf::platform::kRegDword && value.data.size() == 4)
    return std::to_string(DwordOf(value.data));
  return "\"" + TextOf(value.data) + "\"";
}

bool StartsWith(const std::string& text, const std::string& head) {
  return text.compare(0, head.size(), head) == 0;
}

bool Within(const std::string& path, const std::string& dir) {
  return path == dir || StartsWith(path, dir + "\\");
}

Before Look() {
  Before before;
  before.product = sim::KeyExists(Root::LocalMachine, qf::ProductVersionKey);
  before.admin =
      Read(Root::LocalMachine, qf::ProductVersionKey, qf::InstallAdmin, FlagCapacity).has_value();
  const auto uses =
      Read(Root::LocalMachine, qf::ProductVersionKey, qf::UseSharedFiles, FlagCapacity);
  before.usesShared = uses && TextOf(uses->data) == qf::SharedFilesUsed;
  before.userTree = sim::KeyExists(Root::CurrentUser, qf::UserSettingsKey);
  for (size_t i = 0; i < ComponentCount; ++i) {
    ComponentBefore& c = before.components[i];
    const std::string key = qf::JoinPath(qf::SharedKey, ComponentFlags[i].component);
    c.flagged = Read(Root::LocalMachine, qf::UnInstInfoKey, ComponentFlags[i].flag, FlagCapacity)
                    .has_value();
    c.record = sim::KeyExists(Root::LocalMachine, key);
    c.useCount = Read(Root::LocalMachine, key, qf::UseCount, FlagCapacity);
    if (const auto dir = Read(Root::LocalMachine, key, qf::RootDir, RootDirCapacity))
      c.rootDir = TextOf(dir->data);
    if (c.rootDir && qf::IsBelowRoot(*c.rootDir)) c.root = qf::ResolveAbsolutePath(*c.rootDir);
  }
  before.sharedKey = sim::KeyExists(Root::LocalMachine, qf::SharedKey);
  if (const auto dir =
          Read(Root::LocalMachine, qf::SharedKey, qf::SharedFilesDir, SharedFilesDirCapacity)) {
    if (qf::IsBelowRoot(TextOf(dir->data)))
      before.area = qf::ResolveAbsolutePath(TextOf(dir->data));
  }
  return before;
}

}  // namespace qfpreview
