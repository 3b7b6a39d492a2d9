// Why things stay, and what each step of the pass looked at.
#pragma once

#include "before.h"
#include "capture.h"
#include "report.h"

namespace qfpreview {

// The items that stay, each with its reason.
void ExplainKept(const Snapshot& snapshot, const Before& before, Report* report);
// What the pass looked at in each step and found.
void AddNotes(const Snapshot& snapshot, const Before& before, Report* report);

}  // namespace qfpreview
