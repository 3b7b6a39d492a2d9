// What the uninstall pass reads, as the preview needs to know it: the
// capacities of its value reads and its table of component flags.
#pragma once

#include <cstdint>

namespace qfpreview {

// Capacities, in bytes, of the pass's reads.
constexpr uint32_t kFlagCapacity = 10;  // flags, the marker and counts
constexpr uint32_t kRootDirCapacity = 255;
constexpr uint32_t kSharedFilesDirCapacity = 260;

// Steps of the pass, in its order; every item of the report belongs to one.
enum class Step {
  Gate,
  UserSettings,
  Components,
  Data,
  MSHelp,
  ImageFiles,
  SharedArea,
  Companions
};

// The installation's flags under UnInstInfoKey and the components they
// release, in the order the pass handles them.
struct ComponentRow {
  const char* flag;
  const char* name;
  Step step;
};
constexpr ComponentRow kComponentRows[] = {
    {"UseSharedData", "Data", Step::Data},
    {"UseSharedMSHelp", "MSHelp", Step::MSHelp},
    {"UseSharedImages", "Image Files", Step::ImageFiles},
};

}  // namespace qfpreview
