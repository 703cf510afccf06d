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
  milliseconds waited;
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
    const bool answered = CallWhileBusy(
        policy, waiting,
        [&] { return expected.refusedFor != kForever && clock - start >= expected.refusedFor; },
        refused);
    EXPECT_EQ(answered, expected.answered) << "call " << i + 1;
    EXPECT_EQ((clock - start).count(), expected.waited.count()) << "call " << i + 1;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, BusyServerTest,
    testing::Values(BusyCase{"Idle", {{milliseconds{0}, true, milliseconds{0}}}},
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
                              {milliseconds{0}, true, milliseconds{0}}}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace tkw::host
