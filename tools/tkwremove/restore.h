// Putting back PowerPoint's own menu controls that menu definitions took away: a definition
// whose caption is that of one of PowerPoint's own buttons in its menu makes the program delete
// that button for good, and the product's own control, which took its place, is temporary.
#pragma once

#include <string>
#include <vector>

#include "host/command_bars/command_bar_model.h"
#include "host/runtime/powerpoint.h"
#include "tools/tkwcheck/installed.h"
#include "tools/tkwremove/removal.h"

namespace tkw::remove {

struct Restored {
  std::vector<Step> steps;
  int controls = 0;  // put back, or to put back
  bool failed = false;
};

// Puts back, after the removal, each of PowerPoint's own buttons that a menu definition's
// caption names in `own` (PowerPoint's bars as they were before any run: their Ids and places)
// and that PowerPoint's menu no longer holds, among its own neighbours of `own`. One it cannot
// put back is an error saying how the user gets it back. With `plan`, says what it would put
// back and changes nothing.
Restored RestorePowerPointsOwn(const host::Application& app,
                               const std::vector<check::Definition>& definitions,
                               const command_bars::CommandBarSet& own, bool plan);

// "PLACE: TEXT" per step, then the count; nothing when there is nothing to put back.
void PrintRestored(std::ostream& out, const Restored& restored, bool plan);

}  // namespace tkw::remove
