// Taking away exactly the controls that the definitions add, and the bars they leave empty:
// never PowerPoint's own bars and controls, never a control that no definition names.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "host/kernel.h"
#include "host/runtime/powerpoint.h"
#include "tools/tkwcheck/installed.h"

namespace tkw::remove {

struct Step {
  check::Place place;  // the definition that names what the step removes
  std::string text;    // UTF-8
  bool failed = false;
};

struct Outcome {
  std::vector<Step> steps;
  int controls = 0;
  int bars = 0;
  bool failed = false;
};

// With `plan`, says what it would remove and changes nothing.
Outcome RemoveInstalled(const host::Application& app,
                        const std::vector<check::Definition>& definitions, bool plan);

// "PLACE: TEXT" per step, then the count of what was (or would be) removed.
void PrintOutcome(std::ostream& out, const Outcome& outcome, bool plan);

// The program's single-instance guard, held for the guard's life unless another process holds
// it already or it cannot be created.
class InstanceGuard {
 public:
  explicit InstanceGuard(host::Kernel& kernel);
  InstanceGuard(const InstanceGuard&) = delete;
  InstanceGuard& operator=(const InstanceGuard&) = delete;
  ~InstanceGuard();

  bool held() const { return held_; }
  // The system's error when the guard could not be created at all; 0 when it could.
  std::uint32_t error() const { return error_; }

 private:
  host::Kernel& kernel_;
  host::Handle handle_;
  std::uint32_t error_;
  bool held_;
};

}  // namespace tkw::remove
