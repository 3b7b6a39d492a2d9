// What the uninstall pass reads, as the preview needs to know it: the
// library's schema (capacities, value names, component table) and the step of
// the pass that each component belongs to.
#pragma once

#include "common/schema.h"

namespace qfpreview {

using qf::ComponentCount;
using qf::ComponentFlags;
using qf::FlagCapacity;
using qf::RootDirCapacity;
using qf::SharedFilesDirCapacity;

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

// The step of each row of ComponentFlags, in the same order.
constexpr Step kComponentSteps[] = {Step::Data, Step::MSHelp, Step::ImageFiles};
static_assert(sizeof kComponentSteps / sizeof kComponentSteps[0] == ComponentCount,
              "one step per component");

}  // namespace qfpreview
