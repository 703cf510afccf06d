// How long the program waits for a server that refuses its calls while it is busy (PowerPoint
// starting, loading its add-ins or showing a modal dialog). Such a call was not carried out, so
// it is made again after a pause, within bounds that keep a server that never answers from
// holding up the run: one call waits at most kPerCall; a run waits at most kPerRun in all, and
// once a call has been given up no later call of the run waits at all. A call given up fails
// as any other automation call fails.
#pragma once

#include <chrono>
#include <functional>
#include <optional>

namespace tkw::host {

class BusyServerPolicy {
 public:
  using Milliseconds = std::chrono::milliseconds;
  static constexpr Milliseconds kPause{250};
  static constexpr Milliseconds kPerCall{30'000};
  static constexpr Milliseconds kPerRun{60'000};

  // The pause before making again a call that the server has refused since `refusedFor` ago,
  // or nothing when the call is given up. Each pause granted counts towards the run's bound.
  std::optional<Milliseconds> PauseBeforeRetry(Milliseconds refusedFor);

  bool gaveUp() const { return gaveUp_; }

 private:
  Milliseconds waited_{0};
  bool gaveUp_ = false;
};

// The clock and the pause of the calling thread, so that the bounds are tested without waiting.
struct Waiting {
  std::function<std::chrono::milliseconds()> now;  // a monotonic clock
  std::function<void(std::chrono::milliseconds)> pause;
};

// Makes `call` until it is not refused or `policy` gives it up; gives the last result.
template <class Call, class Refused>
auto CallWhileBusy(BusyServerPolicy& policy, const Waiting& waiting, Call call, Refused refused) {
  auto result = call();
  if (!refused(result))
    return result;
  const auto firstRefusal = waiting.now();
  while (const auto pause = policy.PauseBeforeRetry(waiting.now() - firstRefusal)) {
    waiting.pause(*pause);
    result = call();
    if (!refused(result))
      break;
  }
  return result;
}

}  // namespace tkw::host
