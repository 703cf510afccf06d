// What a run would do on an emulated machine, found by running the program itself on a copy of
// the machine, so that the plan cannot disagree with a real run.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/tkwcheck/run_story.h"
#include "tools/tkwcheck/settings_source.h"

namespace tkw::check {

struct Plan {
  RunStory story;             // its definitions' details tell places, faces and what stays
  std::vector<Place> places;  // the registry line of each definition of the story
  std::string messageBoxes;   // what the run showed the user, one line each
  // The lines of the machine's registry that the reader skips, "FILE:LINE: skipped ...".
  std::vector<std::string> skippedLines;
  // Whether the user's PowerPoint runs on the machine; when it does not, the program starts it
  // and the run's temporary bar and controls go when it closes at the run's end.
  bool powerPointRunning = true;
};

// What to tell once about a plan as a whole: empty, or that PowerPoint is not running.
std::string PlanWarning(const Plan& plan);

// Runs `program` on a copy of the machine at `prefix` (PowerPoint's state, the clipboard and
// the registry, with logging on) and reads what it did. The machine itself is not changed.
// With `powerPointState` the copy's PowerPoint is the one that state file holds (a snapshot)
// rather than the machine's. Throws Unreadable when the registry is no regedit export, and
// std::runtime_error when the program cannot be run or leaves no log.
Plan MakePlan(const std::filesystem::path& prefix, const std::filesystem::path& program,
              const std::optional<std::filesystem::path>& powerPointState = std::nullopt);

}  // namespace tkw::check
