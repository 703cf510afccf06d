// The live registry of the Windows machine tkwcheck runs on: the settings in both registry
// views, and the icon files on its disks.
#pragma once

#include <memory>
#include <vector>

#include "tools/snapshot/judged_powerpoint.h"
#include "tools/tkwcheck/check.h"

namespace tkw::check {

// The 32-bit view is the one the shipped program reads; definitions that only the 64-bit view
// holds are reported as unseen. Each view is judged against `powerPoint`.
std::vector<Finding> CheckLiveRegistry(const snapshot::JudgedPowerPoint& powerPoint);

// The settings in the registry view this build of the program reads, or null when there are
// none.
std::unique_ptr<SettingsKey> ProgramSettings();

}  // namespace tkw::check
