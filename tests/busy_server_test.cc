// The bounds on waiting for a busy server, on a clock of the test's own: no test sleeps.
#include "host/busy_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace tkw::host {
namespace {

using std::chrono::milliseconds;
constexpr milliseconds kForever{-1};

// One call of a run: how long the server refuses it, and what the run should see.
struct BusyCall {
  milliseconds refusedFor;  // kForever: the server never answers
  bool answered;
  milliseconds took;        // the pauses and every attempt's own time
  milliseconds attempt{0};  // how long each attempt takes, refused or not
};

struct BusyCase {
  std::string name;
  std::vector<BusyCall> calls;
};

class BusyServerTest : public testing::TestWithParam<BusyCase> {};

TEST_P(BusyServerTest, WaitsWithinTheBoundsAndNotAfterAGiveUp) {
  milliseconds clock{0};
  const Waiting waiting{[&] { return clock; }, [&](milliseconds pause) { clock += pause; }};
  BusyServerPolicy policy;
  for (std::size_t i = 0; i < GetParam().calls.size(); ++i) {
    const BusyCall& expected = GetParam().calls[i];
    const milliseconds start = clock;
    const auto refused = [&](bool answer) { return !answer; };
    // The server refuses an attempt made before `refusedFor` since the call's start.
    const auto attempt = [&] {
      const bool answer = expected.refusedFor != kForever && clock - start >= expected.refusedFor;
      clock += expected.attempt;
      return answer;
    };
    const bool answered = CallWhileBusy(policy, waiting, attempt, refused);
    EXPECT_EQ(answered, expected.answered) << "call " << i + 1;
    EXPECT_EQ((clock - start).count(), expected.took.count()) << "call " << i + 1;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, BusyServerTest,
    testing::Values(
        BusyCase{"Idle", {{milliseconds{0}, true, milliseconds{0}}}},
        // Answered at the first try after the refusal ends, pauses of 250 ms.
        BusyCase{"BusyAMoment", {{milliseconds{900}, true, milliseconds{1000}}}},
        // Given up at exactly 30 s; later calls are made once, with no wait, even when
        // the server answers them.
        BusyCase{"NeverAnswers",
                 {{kForever, false, milliseconds{30'000}},
                  {kForever, false, milliseconds{0}},
                  {milliseconds{100}, false, milliseconds{0}}}},
        // Each call within its own bound, the run's bound of 60 s shared between them:
        // the third call's wait is cut short and given up.
        BusyCase{"BusyOften",
                 {{milliseconds{25'000}, true, milliseconds{25'000}},
                  {milliseconds{25'000}, true, milliseconds{25'000}},
                  {milliseconds{25'000}, false, milliseconds{10'000}},
                  {milliseconds{0}, true, milliseconds{0}}}},
        // Attempts that take time: a call is given up once 30 s have passed since its first
        // refusal came back, the attempts' own time counted, and no pause runs past that.
        // Attempts of 100 ms: 86 pauses, the last ending at exactly 30 s, then one more
        // attempt; a later call is made once.
        BusyCase{"NeverAnswersAttemptsOf100ms",
                 {{kForever, false, milliseconds{100 + 86 * 350}, milliseconds{100}},
                  {kForever, false, milliseconds{100}, milliseconds{100}}}},
        // Of 120 ms: the 82nd pause is cut to the 30 ms left of 30 s.
        BusyCase{"NeverAnswersAttemptsOf120ms",
                 {{kForever, false, milliseconds{120 + 81 * 370 + 30 + 120}, milliseconds{120}}}},
        // Of 3 s: 10 pauses; the last attempt ends 32.5 s after the first refusal.
        BusyCase{"NeverAnswersAttemptsOf3s",
                 {{kForever, false, milliseconds{3'000 + 10 * 3'250}, milliseconds{3'000}}}},
        // The run's 60 s are of pauses only: with attempts of 100 ms, three calls answered
        // after 72 pauses each, a fourth given up after the 24 pauses left, the fifth made once.
        BusyCase{"BusyOftenAttemptsOf100ms",
                 {{milliseconds{25'000}, true, milliseconds{72 * 350 + 100}, milliseconds{100}},
                  {milliseconds{25'000}, true, milliseconds{72 * 350 + 100}, milliseconds{100}},
                  {milliseconds{25'000}, true, milliseconds{72 * 350 + 100}, milliseconds{100}},
                  {milliseconds{25'000}, false, milliseconds{24 * 350 + 100}, milliseconds{100}},
                  {milliseconds{0}, true, milliseconds{100}, milliseconds{100}}}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace tkw::host
