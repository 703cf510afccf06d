#include "host/busy_server.h"

#include <algorithm>

namespace tkw::host {

std::optional<BusyServerPolicy::Milliseconds> BusyServerPolicy::PauseBeforeRetry(
    Milliseconds refusedFor) {
  if (gaveUp_ || refusedFor >= kPerCall || waited_ >= kPerRun) {
    gaveUp_ = true;
    return std::nullopt;
  }
  // The last pause of a call or of the run is cut short, so that neither bound is overrun.
  const Milliseconds pause = std::min({kPause, kPerCall - refusedFor, kPerRun - waited_});
  waited_ += pause;
  return pause;
}

}  // namespace tkw::host
