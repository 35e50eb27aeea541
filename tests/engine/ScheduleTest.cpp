// The worker's schedule, counted through the test host. Bounds are generous: exact timing is the
// benchmark's business.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "MonitorHarness.h"
#include "PrivateNetwork.h"
#include "TestHost.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class Schedule : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PRIVATE_NETWORK();
    SetPingGroupRange(true);
    host_ = std::make_unique<TestHost>();
  }
  std::unique_ptr<TestHost> host_;
};

TEST_F(Schedule, FirstProbeGoesOutAtOnce) {
  const std::string address = TestHost::V4(10);
  host_->Answer(address, 0ms);
  MonitorHarness harness;
  const auto start = Clock::now();
  harness.monitor().AddTarget(address, 60000, 1000, "once");
  ASSERT_TRUE(harness.WaitForNotifications(address, 1, 5s));
  EXPECT_LT(Clock::now() - start, 5s) << "not one interval later";
  ASSERT_EQ(host_->RequestsTo(address).size(), 1u);
}

TEST_F(Schedule, KeepsItsIntervalBetweenQuickProbes) {
  const std::string address = TestHost::V4(11);
  host_->Answer(address, 0ms);
  MonitorHarness harness;
  harness.monitor().AddTarget(address, 250, 1000, "steady");
  harness.ServiceFor(1900ms);  // deadlines at 0, 250, ..., 1750: eight probes
  harness.DestroyMonitor();
  const std::size_t sent = host_->RequestsTo(address).size();
  EXPECT_GE(sent, 6u);
  EXPECT_LE(sent, 9u);
}

// Probes that outlast the interval put the schedule behind; once the host answers quickly again
// the missed probes are sent back to back until the schedule has caught up.
TEST_F(Schedule, SlowProbesAreCaughtUpWithoutLosingAny) {
  const std::string address = TestHost::V4(12);
  host_->Drop(address);
  MonitorHarness harness;
  const auto start = Clock::now();
  harness.monitor().AddTarget(address, 200, 1000, "slow");
  harness.ServiceFor(2500ms);  // probes of 1000 ms each: about three of the thirteen due
  host_->Answer(address, 0ms);
  harness.ServiceUntil([&] { return Clock::now() - start >= 5000ms; }, 10s);
  const auto elapsed = Clock::now() - start;
  harness.DestroyMonitor();

  const auto requests = host_->RequestsTo(address);
  const auto due = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() / 200 + 1;
  EXPECT_GE(static_cast<long>(requests.size()), due - 4) << "every scheduled probe is sent";
  EXPECT_LE(static_cast<long>(requests.size()), due + 1);

  std::size_t backToBack = 0;
  for (std::size_t i = 1; i < requests.size(); ++i) {
    backToBack += (requests[i].received - requests[i - 1].received) < 50ms;
  }
  EXPECT_GE(backToBack, 5u) << "the missed probes follow one another without pause";
}

TEST_F(Schedule, IntervalZeroRunsProbesBackToBack) {
  const std::string address = TestHost::V6(13);
  host_->Answer(address, 0ms);
  MonitorHarness harness;
  harness.monitor().AddTarget(address, 0, 1000, "busy");
  harness.ServiceFor(1000ms);
  harness.DestroyMonitor();
  EXPECT_GE(host_->RequestsTo(address).size(), 50u);
}

TEST_F(Schedule, StopEndsAnIdleWorkerPromptly) {
  const std::string address = TestHost::V4(14);
  host_->Answer(address, 0ms);
  MonitorHarness harness;
  harness.monitor().AddTarget(address, 60000, 1000, "idle");
  ASSERT_TRUE(harness.WaitForNotifications(address, 1));
  const auto start = Clock::now();
  harness.monitor().RemoveTarget(address);
  EXPECT_LT(Clock::now() - start, 1s) << "an idle worker does not sleep out its interval";
}

}  // namespace
