// The target registry: resolution, keys, notes, resets, removal and destruction.

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "MonitorHarness.h"
#include "PrivateNetwork.h"
#include "ScopedConditions.h"
#include "TestHost.h"

namespace {

using namespace std::chrono_literals;

std::string MessageOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(nothing thrown)";
}

class Monitor : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PRIVATE_NETWORK();
    SetPingGroupRange(true);
    host_ = std::make_unique<TestHost>();
  }
  std::unique_ptr<TestHost> host_;
};

TEST_F(Monitor, NumericLiteralsAreTakenAsWrittenWithoutTheResolver) {
  // The resolver would rewrite this spelling as 2001:db8:18::20.
  const std::vector<std::string> found = TICMPMonitor::ResolveHostNameEx("2001:0db8:0018::0020");
  EXPECT_EQ(found, std::vector<std::string>{"2001:0db8:0018::0020"});
  EXPECT_EQ(TICMPMonitor::ResolveHostNameEx("198.18.0.20"),
            std::vector<std::string>{"198.18.0.20"});

  MonitorHarness harness;
  harness.monitor().AddTarget("2001:0db8:0018::0020", 10000, 500, "v6 literal");
  harness.monitor().AddTarget("198.18.0.21", 10000, 500, "v4 literal");
  TMonitorThread* v6 = harness.monitor().FindThread("2001:0db8:0018::0020");
  ASSERT_NE(v6, nullptr);
  EXPECT_TRUE(v6->IsIPv6());
  EXPECT_EQ(v6->IP(), "2001:0db8:0018::0020");
  EXPECT_FALSE(harness.monitor().FindThread("198.18.0.21")->IsIPv6());
  EXPECT_EQ(harness.CountLines("已添加监控目标: 198.18.0.21 (198.18.0.21) IPv4"), 1u);
  EXPECT_EQ(harness.CountLines("已添加监控目标: 2001:0db8:0018::0020 (2001:0db8:0018::0020) IPv6"),
            1u);
}

TEST_F(Monitor, NamesResolveWithIPv4First) {
  ScopedHostsFile hosts(
      "2001:db8:18::30 both.halvoro.test\n198.18.0.30 both.halvoro.test\n"
      "2001:db8:18::31 v6only.halvoro.test\n");
  EXPECT_EQ(TICMPMonitor::ResolveHostNameEx("localhost").front(), "127.0.0.1");
  const auto both = TICMPMonitor::ResolveHostNameEx("both.halvoro.test");
  ASSERT_GE(both.size(), 2u);
  EXPECT_EQ(both.front(), "198.18.0.30");

  MonitorHarness harness;
  harness.monitor().AddTarget("both.halvoro.test", 10000, 500, "");
  harness.monitor().AddTarget("v6only.halvoro.test", 10000, 500, "");
  harness.monitor().AddTarget("localhost", 10000, 500, "");
  EXPECT_EQ(harness.monitor().FindThread("both.halvoro.test")->IP(), "198.18.0.30");
  EXPECT_EQ(harness.monitor().FindThread("v6only.halvoro.test")->IP(), "2001:db8:18::31");
  EXPECT_TRUE(harness.monitor().FindThread("v6only.halvoro.test")->IsIPv6());
  EXPECT_EQ(harness.monitor().FindThread("localhost")->IP(), "127.0.0.1");
}

TEST_F(Monitor, UnresolvableNameRaisesAlsoWhenAlreadyMonitored) {
  MonitorHarness harness;
  {
    ScopedHostsFile hosts("198.18.0.32 gone.halvoro.test\n");
    harness.monitor().AddTarget("gone.halvoro.test", 10000, 500, "first");
  }
  // Resolution comes before the duplicate check.
  EXPECT_EQ(MessageOf([&] { harness.monitor().AddTarget("gone.halvoro.test", 1000, 1000, "x"); }),
            "无法解析主机: gone.halvoro.test");
  EXPECT_EQ(MessageOf([&] { harness.monitor().AddTarget("nowhere.invalid", 1000, 1000, "x"); }),
            "无法解析主机: nowhere.invalid");
  std::vector<std::string> keys;
  harness.monitor().GetAllTargets(keys, true);
  EXPECT_EQ(keys, std::vector<std::string>{"gone.halvoro.test"});
}

TEST_F(Monitor, KeysFoldAsciiLettersOnly) {
  ScopedHostsFile hosts("198.18.0.33 \xC3\xA4x.halvoro.test\n198.18.0.34 \xC3\x84x.halvoro.test\n");
  MonitorHarness harness;
  harness.monitor().AddTarget("\xC3\xA4x.halvoro.test", 10000, 500, "lower");
  harness.monitor().AddTarget("\xC3\x84X.HALVORO.TEST", 10000, 500, "upper");  // Ä is not ä
  harness.monitor().AddTarget("\xC3\xA4X.Halvoro.Test", 1000, 1000, "same key");
  std::vector<std::string> keys;
  harness.monitor().GetAllTargets(keys, false);
  EXPECT_EQ(keys, (std::vector<std::string>{"\xC3\xA4x.halvoro.test", "\xC3\x84X.HALVORO.TEST"}));
  TMonitorThread* first = harness.monitor().FindThread("\xC3\xA4X.HALVORO.test");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Note(), "lower") << "adding a monitored key changes nothing";
  EXPECT_EQ(first->IP(), "198.18.0.33");
  EXPECT_EQ(harness.CountLinesStartingWith("已添加监控目标: "), 2u);
}

TEST_F(Monitor, NameAndItsAddressAreTwoTargets) {
  MonitorHarness harness;
  harness.monitor().AddTarget("localhost", 10000, 500, "name");
  harness.monitor().AddTarget("127.0.0.1", 10000, 500, "address");
  EXPECT_EQ(harness.monitor().GetAllStatistics().size(), 2u);
}

TEST_F(Monitor, EditTargetChangesTheNoteKeepsCountersAndEmptiesHistory) {
  const std::string address = TestHost::V4(40);
  host_->Answer(address, 0ms);
  MonitorHarness harness;
  harness.monitor().AddTarget(address, 20, 1000, "old");
  ASSERT_TRUE(harness.WaitForNotifications(address, 3));
  TMonitorThread* thread = harness.monitor().FindThread(address);
  ASSERT_FALSE(thread->LatencyHistory().empty());
  const TPingStatistics before = harness.monitor().GetStatistics(address);

  harness.monitor().EditTarget(address, "new");
  EXPECT_TRUE(thread->LatencyHistory().empty());
  const TPingStatistics after = harness.monitor().GetStatistics(address);
  EXPECT_EQ(after.note, "new");
  EXPECT_EQ(after.Sent, before.Sent);
  EXPECT_EQ(after.MinLatency, before.MinLatency);
  EXPECT_EQ(thread->Note(), "new");
  EXPECT_EQ(harness.CountLines("已更新目标备注 " + address + " -> new"), 1u);

  const std::size_t seen = harness.notifications().size();
  ASSERT_TRUE(harness.ServiceUntil([&] { return harness.notifications().size() > seen + 1; }));
  EXPECT_EQ(harness.notifications().back().note, "new") << "later notifications carry the note";

  EXPECT_EQ(MessageOf([&] { harness.monitor().EditTarget("198.18.0.99", "x"); }),
            "目标主机不存在: 198.18.0.99");
}

TEST_F(Monitor, ResetsRestartTheCounts) {
  const std::string a = TestHost::V4(41), b = TestHost::V4(42);
  host_->Answer(a, 0ms);
  host_->Answer(b, 0ms);
  MonitorHarness harness;
  harness.monitor().ResetAllStatistics();  // with no targets: nothing happens
  harness.monitor().AddTarget(a, 20, 1000, "a");
  harness.monitor().AddTarget(b, 20, 1000, "b");
  ASSERT_TRUE(harness.WaitForNotifications(a, 3));
  ASSERT_TRUE(harness.WaitForNotifications(b, 3));

  harness.monitor().ResetStatistics(a);
  harness.monitor().ResetStatistics("198.18.0.99");  // not monitored: nothing
  TPingStatistics reset = harness.monitor().GetStatistics(a);
  EXPECT_EQ(reset.Sent, 0);
  EXPECT_EQ(reset.MinLatency, -1);
  EXPECT_EQ(reset.note, "a");
  EXPECT_EQ(reset.dstaddr, a);
  EXPECT_GE(harness.monitor().GetStatistics(b).Sent, 3);

  harness.monitor().ResetAllStatistics();
  for (const auto& stats : harness.monitor().GetAllStatistics()) {
    EXPECT_EQ(stats.Sent, 0);
    EXPECT_TRUE(stats.LatencyHistory.empty());
  }
  EXPECT_TRUE(harness.monitor().FindThread(b)->LatencyHistory().empty());
}

TEST_F(Monitor, CopiesCarryAnEmptyHistoryAndUnknownHostsGiveZeros) {
  host_->Answer(TestHost::V4(43), 0ms);
  MonitorHarness harness;
  harness.monitor().AddTarget(TestHost::V4(43), 20, 1000, "x");
  ASSERT_TRUE(harness.WaitForNotifications(TestHost::V4(43), 2));
  EXPECT_TRUE(harness.monitor().GetStatistics(TestHost::V4(43)).LatencyHistory.empty());
  for (const auto& n : harness.notifications()) EXPECT_TRUE(n.stats.LatencyHistory.empty());

  const TPingStatistics unknown = harness.monitor().GetStatistics("unknown");
  EXPECT_EQ(unknown.MinLatency, 0);
  EXPECT_EQ(unknown.LastLatency, 0);
  EXPECT_TRUE(unknown.dstaddr.empty());
}

TEST_F(Monitor, RemoveTargetWritesItsLinesOnlyForMonitoredKeys) {
  MonitorHarness harness;
  harness.monitor().AddTarget("198.18.0.44", 10000, 300, "x");
  harness.monitor().RemoveTarget("198.18.0.45");
  EXPECT_EQ(harness.CountLinesStartingWith("正在移除目标"), 0u);
  harness.monitor().RemoveTarget("198.18.0.44");
  EXPECT_EQ(harness.CountLines("正在移除目标: 198.18.0.44"), 1u);
  EXPECT_EQ(harness.CountLines("成功移除目标: 198.18.0.44"), 1u);
  EXPECT_EQ(harness.monitor().FindThread("198.18.0.44"), nullptr);
}

// The worker waits for its notification while the UI thread removes it: the removal delivers
// the notification (the target still registered) instead of deadlocking.
TEST_F(Monitor, RemovingAWorkerBlockedInItsNotificationDoesNotDeadlock) {
  const std::string address = TestHost::V4(46);
  host_->Answer(address, 0ms);
  MonitorHarness harness;
  bool registeredDuringHandler = false;
  harness.onNotify = [&](const std::string& host, const TPingStatistics&) {
    registeredDuringHandler = harness.monitor().FindThread(host) != nullptr;
  };
  harness.monitor().AddTarget(address, 0, 1000, "busy");
  std::this_thread::sleep_for(300ms);  // not servicing: the worker blocks in its notification
  harness.monitor().RemoveTarget(address);
  EXPECT_EQ(harness.monitor().FindThread(address), nullptr);
  ASSERT_GE(harness.NotificationsOf(address).size(), 1u);
  EXPECT_TRUE(registeredDuringHandler);
}

TEST_F(Monitor, DestructionStopsEveryWorker) {
  MonitorHarness harness;
  host_->Drop(TestHost::V4(47));
  host_->Answer(TestHost::V6(48), 0ms);
  harness.monitor().AddTarget(TestHost::V4(47), 0, 300, "in flight");
  harness.monitor().AddTarget(TestHost::V6(48), 0, 1000, "busy");
  harness.monitor().AddTarget("127.0.0.1", 60000, 1000, "idle");
  std::this_thread::sleep_for(200ms);  // workers blocked in notifications or probes
  harness.DestroyMonitor();
  const std::size_t requests = host_->Requests().size();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(host_->Requests().size(), requests) << "no worker outlives the monitor";
}

TEST_F(Monitor, ThrowingHandlerGivesOneLineAndTheScheduleGoesOn) {
  const std::string address = TestHost::V4(49);
  host_->Answer(address, 0ms);
  MonitorHarness harness;
  int calls = 0;
  harness.onNotify = [&](const std::string&, const TPingStatistics&) {
    if (++calls == 1) throw std::runtime_error("handler broke");
  };
  harness.monitor().AddTarget(address, 50, 1000, "x");
  ASSERT_TRUE(harness.WaitForNotifications(address, 4));
  EXPECT_EQ(harness.CountLines("Ping异常: handler broke"), 1u);
  EXPECT_EQ(harness.CountLinesStartingWith("Ping异常"), 1u);
}

TEST_F(Monitor, DebugThreadListNamesEveryThread) {
  MonitorHarness harness;
  harness.monitor().DebugThreadList();
  EXPECT_EQ(harness.Lines().back(), "当前监控线程数: 0");
  harness.monitor().AddTarget("198.18.0.50", 10000, 300, "");
  harness.monitor().AddTarget("2001:db8:18::51", 10000, 300, "");
  harness.monitor().DebugThreadList();
  const auto lines = harness.Lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[lines.size() - 3], "当前监控线程数: 2");
  EXPECT_EQ(lines[lines.size() - 2], "线程0: 198.18.0.50 (198.18.0.50) IPv4");
  EXPECT_EQ(lines[lines.size() - 1], "线程1: 2001:db8:18::51 (2001:db8:18::51) IPv6");
}

struct BadHostCase {
  const char* name;
  std::string host;
};

class BadHost : public ::testing::TestWithParam<BadHostCase> {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }
};

TEST_P(BadHost, IsRefusedWithTheResolverMessage) {
  const std::string& host = GetParam().host;
  MonitorHarness harness;
  // An exception's text ends at a NUL, so the message carries the host up to it.
  EXPECT_EQ(MessageOf([&] { harness.monitor().AddTarget(host, 1000, 1000, "x"); }),
            "无法解析主机: " + std::string(host.c_str()));
  EXPECT_EQ(harness.monitor().FindThread(host), nullptr);
  EXPECT_TRUE(harness.monitor().GetAllStatistics().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, BadHost,
    ::testing::Values(BadHostCase{"Empty", ""}, BadHostCase{"Blanks", "   "},
                      BadHostCase{"ControlCharacters", "\x01\t\n\x7F"},
                      BadHostCase{"NonAscii", "\xE7\xBD\x91\xE5\x85\xB3"},  // 网关
                      BadHostCase{"EmbeddedNul", std::string("127.0.0.1\0evil", 14)},
                      BadHostCase{"HugeName", std::string(100000, 'a')}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// All workers are told to stop at once: their probes in flight end together, each still
// completed and notified, instead of one timeout after another.
TEST(MonitorDestruction, StopsWorkersTogetherAndCompletesTheirProbes) {
  REQUIRE_PRIVATE_NETWORK();
  SetPingGroupRange(true);
  TestHost host;  // drops every address it is not told to answer
  MonitorHarness harness;
  constexpr int kTargets = 20;
  for (int i = 0; i < kTargets; ++i) harness.monitor().AddTarget(TestHost::V4(60 + i), 0, 700, "");
  ASSERT_TRUE(harness.ServiceUntil([&] { return host.Requests().size() >= kTargets; }));
  const auto start = std::chrono::steady_clock::now();
  harness.DestroyMonitor();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kTargets * 700 / 2))
      << "not one timeout after another";
  for (int i = 0; i < kTargets; ++i) {
    const std::string address = TestHost::V4(60 + i);
    EXPECT_EQ(harness.NotificationsOf(address).size(), host.RequestsTo(address).size())
        << address << ": every probe sent was notified";
  }
}

}  // namespace
