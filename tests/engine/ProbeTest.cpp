// Real echo probes through the test host, inside the private network of this test program.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <numeric>
#include <thread>

#include "MonitorHarness.h"
#include "PrivateNetwork.h"
#include "ScopedConditions.h"
#include "TestHost.h"

namespace {

using namespace std::chrono_literals;

const std::vector<uint8_t> kTestPayload = {'T', 'e', 's', 't'};
const std::vector<uint8_t> kIPv6Payload(32, 0xAA);

enum class SocketKind { Datagram, Raw };

struct ProbePath {
  const char* name;
  bool ipv6;
  SocketKind kind;
};

class AnsweredProbe : public ::testing::TestWithParam<ProbePath> {
 protected:
  void SetUp() override {
    REQUIRE_PRIVATE_NETWORK();
    host_ = std::make_unique<TestHost>();
  }
  std::unique_ptr<TestHost> host_;
};

// Datagram sockets need the group range open; with it closed only the raw fallback is left, and
// without CAP_NET_RAW only datagram sockets are. Either way the probe must get through.
TEST_P(AnsweredProbe, IsCountedWithItsDelayAndCarriesThePayload) {
  const ProbePath& path = GetParam();
  const std::string address = path.ipv6 ? TestHost::V6(2) : TestHost::V4(2);
  host_->Answer(address, 50ms);
  SetPingGroupRange(path.kind == SocketKind::Datagram);

  MonitorHarness harness;
  {
    std::unique_ptr<ScopedNoRawSockets> noRaw;
    if (path.kind == SocketKind::Datagram) noRaw = std::make_unique<ScopedNoRawSockets>();
    harness.monitor().AddTarget(address, 100, 1000, "note");
  }
  ASSERT_TRUE(harness.WaitForNotifications(address, 9));
  harness.DestroyMonitor();

  std::vector<int32_t> latencies;
  for (const auto& n : harness.NotificationsOf(address)) {
    ASSERT_GE(n.stats.LastLatency, 0) << "every probe is answered";
    latencies.push_back(n.stats.LastLatency);
  }
  std::nth_element(latencies.begin(), latencies.begin() + latencies.size() / 2, latencies.end());
  const int32_t median = latencies[latencies.size() / 2];
  std::printf("[ figure ] %s: 50 ms delay measured as %d ms (median), %d to %d ms\n", path.name,
              median, *std::min_element(latencies.begin(), latencies.end()),
              *std::max_element(latencies.begin(), latencies.end()));
  // A reply cannot come back before its delay. The median of nine leaves out the odd reply
  // that a busy machine delivered late, so the 2 ms bound holds there too.
  EXPECT_GE(median, 49) << "a 50 ms delay is measured as 50 ms";
  EXPECT_LE(median, 52) << "a 50 ms delay is measured as 50 ms";

  const TPingStatistics last = harness.NotificationsOf(address).back().stats;
  EXPECT_EQ(last.Lost, 0);
  EXPECT_EQ(last.IsV6, path.ipv6);
  EXPECT_EQ(last.dstaddr, address);

  const auto requests = host_->RequestsTo(address);
  ASSERT_GE(requests.size(), 9u);
  for (const auto& request : requests) {
    EXPECT_EQ(request.payload, path.ipv6 ? kIPv6Payload : kTestPayload);
    // The IPv6 probe leaves the source to the system, which picks the interface's address.
    EXPECT_EQ(request.source, path.ipv6 ? TestHost::OwnV6() : TestHost::OwnV4());
  }
  if (path.ipv6) {
    EXPECT_GE(harness.CountLines("IPv6 ping to " + address + " succeeded in 50ms"), 1u);
  } else {
    EXPECT_GE(harness.CountLines("Ping成功 " + address + " -> " + address + " 延迟: 50ms"), 1u);
    EXPECT_GE(harness.CountLines("Ping Success状态: True, 状态: 0, 延迟: 50ms"), 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, AnsweredProbe,
                         ::testing::Values(ProbePath{"IPv4Datagram", false, SocketKind::Datagram},
                                           ProbePath{"IPv4Raw", false, SocketKind::Raw},
                                           ProbePath{"IPv6Datagram", true, SocketKind::Datagram},
                                           ProbePath{"IPv6Raw", true, SocketKind::Raw}),
                         [](const auto& info) { return std::string(info.param.name); });

struct LostCase {
  const char* name;
  bool ipv6;
  SocketKind kind;
  bool unreachable;                // an ICMP error instead of silence
  std::vector<std::string> lines;  // with {host} for the address
};

class LostProbe : public ::testing::TestWithParam<LostCase> {
 protected:
  void SetUp() override {
    REQUIRE_PRIVATE_NETWORK();
    host_ = std::make_unique<TestHost>();
  }
  std::unique_ptr<TestHost> host_;
};

std::string WithHost(std::string pattern, const std::string& host) {
  for (std::size_t at; (at = pattern.find("{host}")) != std::string::npos;) {
    pattern.replace(at, 6, host);
  }
  return pattern;
}

TEST_P(LostProbe, IsCountedLostWithItsStatus) {
  const LostCase& c = GetParam();
  const std::string address = c.ipv6 ? TestHost::V6(3) : TestHost::V4(3);
  if (c.unreachable) {
    host_->Unreachable(address);
  } else {
    host_->Drop(address);
  }
  SetPingGroupRange(c.kind == SocketKind::Datagram);
  MonitorHarness harness;
  const auto start = std::chrono::steady_clock::now();
  {
    std::unique_ptr<ScopedNoRawSockets> noRaw;
    if (c.kind == SocketKind::Datagram) noRaw = std::make_unique<ScopedNoRawSockets>();
    harness.monitor().AddTarget(address, 10000, 300, "lost");
  }
  ASSERT_TRUE(harness.WaitForNotifications(address, 1));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const TPingStatistics stats = harness.NotificationsOf(address).front().stats;
  harness.DestroyMonitor();

  EXPECT_EQ(stats.Sent, 1);
  EXPECT_EQ(stats.Lost, 1);
  EXPECT_EQ(stats.LastLatency, -1);
  EXPECT_EQ(stats.MinLatency, -1);
  if (!c.unreachable) {
    EXPECT_GE(elapsed, 280ms) << "a silent host is given the whole timeout";
  }
  for (const auto& line : c.lines) {
    EXPECT_EQ(harness.CountLines(WithHost(line, address)), 1u) << WithHost(line, address);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, LostProbe,
    ::testing::Values(LostCase{"IPv4DroppedDatagram",
                               false,
                               SocketKind::Datagram,
                               false,
                               {"Ping失败， 状态: 11010, 延迟: 0ms ，错误码: 11010",
                                "Ping失败 {host} -> {host} (状态: 11010)"}},
                      LostCase{"IPv4DroppedRaw",
                               false,
                               SocketKind::Raw,
                               false,
                               {"Ping失败 {host} -> {host} (状态: 11010)"}},
                      LostCase{"IPv6DroppedDatagram",
                               true,
                               SocketKind::Datagram,
                               false,
                               {"Icmp6SendEcho2 failed. Error 11010: The request timed out.",
                                "IPv6 ping to {host} failed (Status: 0x0)"}},
                      LostCase{"IPv6DroppedRaw",
                               true,
                               SocketKind::Raw,
                               false,
                               {"IPv6 ping to {host} failed (Status: 0x0)"}},
                      LostCase{"IPv4UnreachableDatagram",
                               false,
                               SocketKind::Datagram,
                               true,
                               {"Ping失败 {host} -> {host} (状态: 11003)"}},
                      LostCase{"IPv4UnreachableRaw",
                               false,
                               SocketKind::Raw,
                               true,
                               {"Ping失败 {host} -> {host} (状态: 11003)"}},
                      LostCase{"IPv6UnreachableDatagram",
                               true,
                               SocketKind::Datagram,
                               true,
                               {"IPv6 ping to {host} failed (Status: 0x2AFB)"}},
                      LostCase{"IPv6UnreachableRaw",
                               true,
                               SocketKind::Raw,
                               true,
                               {"IPv6 ping to {host} failed (Status: 0x2AFB)"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoopbackProbe, AnswersOverBothFamilies) {
  REQUIRE_PRIVATE_NETWORK();
  SetPingGroupRange(true);
  MonitorHarness harness;
  harness.monitor().AddTarget("127.0.0.1", 50, 1000, "v4");
  harness.monitor().AddTarget("::1", 50, 1000, "v6");
  ASSERT_TRUE(harness.WaitForNotifications("127.0.0.1", 3));
  ASSERT_TRUE(harness.WaitForNotifications("::1", 3));
  harness.DestroyMonitor();
  for (const char* host : {"127.0.0.1", "::1"}) {
    const TPingStatistics stats = harness.NotificationsOf(host).back().stats;
    EXPECT_EQ(stats.Lost, 0) << host;
    EXPECT_GE(stats.MinLatency, 0) << host;
    EXPECT_EQ(stats.IsV6, std::string(host) == "::1");
  }
}

// Datagram sockets are kept from one probe to the next, across targets. A reply that comes after
// its probe gave up waits on a kept socket for whichever probe takes it next, as does an ICMP
// error with the pending error it leaves (which would fail the next send): neither may count for
// that probe.
TEST(KeptSockets, LeftoversOfEarlierProbesCountForNoOne) {
  REQUIRE_PRIVATE_NETWORK();
  SetPingGroupRange(true);
  TestHost host;
  enum class Kind { Quick, Late, Unreachable };
  struct Target {
    std::string address;
    Kind kind;
  };
  std::vector<Target> targets;
  for (const bool ipv6 : {false, true}) {
    for (int i = 0; i < 3; ++i) {
      const std::string address = ipv6 ? TestHost::V6(10 + i) : TestHost::V4(10 + i);
      const Kind kind = static_cast<Kind>(i);
      if (kind == Kind::Quick) host.Answer(address, 1ms);
      if (kind == Kind::Late) host.Answer(address, 300ms);  // after the 250 ms timeout
      if (kind == Kind::Unreachable) host.Unreachable(address);
      targets.push_back({address, kind});
    }
  }
  MonitorHarness harness;
  {
    ScopedNoRawSockets noRaw;
    for (const Target& t : targets) harness.monitor().AddTarget(t.address, 400, 250, "");
  }
  ASSERT_TRUE(harness.ServiceUntil([&] {
    return std::all_of(targets.begin(), targets.end(), [&](const Target& t) {
      return harness.NotificationsOf(t.address).size() >= 8;
    });
  }));
  harness.DestroyMonitor();

  for (const Target& t : targets) {
    const TPingStatistics stats = harness.NotificationsOf(t.address).back().stats;
    EXPECT_EQ(stats.Sent, static_cast<int32_t>(host.RequestsTo(t.address).size()))
        << t.address << ": every probe went out";
    if (t.kind == Kind::Quick) {
      EXPECT_EQ(stats.Lost, 0) << t.address;
      EXPECT_LT(stats.MaxLatency, 250) << t.address;
    } else {
      EXPECT_EQ(stats.Lost, stats.Sent) << t.address << ": nothing else answers for it";
    }
  }
}

// Neither socket kind can be opened: the round is not counted but still notified.
TEST(UnopenableSocket, ChangesNoFigureButStillNotifies) {
  REQUIRE_PRIVATE_NETWORK();
  SetPingGroupRange(false);
  MonitorHarness harness;
  {
    ScopedNoRawSockets noRaw;
    harness.monitor().AddTarget("127.0.0.1", 20, 1000, "v4");
    harness.monitor().AddTarget("::1", 20, 1000, "v6");
  }
  ASSERT_TRUE(harness.WaitForNotifications("127.0.0.1", 3));
  ASSERT_TRUE(harness.WaitForNotifications("::1", 3));
  EXPECT_TRUE(harness.monitor().FindThread("127.0.0.1")->LatencyHistory().empty());
  harness.DestroyMonitor();
  for (const auto& n : harness.notifications()) {
    EXPECT_EQ(n.stats.Sent, 0);
    EXPECT_EQ(n.stats.LastLatency, -1);
  }
  EXPECT_GE(harness.CountLines("ICMP句柄创建失败 127.0.0.1 (错误 1: Operation not permitted)"), 3u);
  EXPECT_GE(harness.CountLines("Icmp6CreateFile failed. Error 1: Operation not permitted"), 3u);
}

}  // namespace

namespace {

// Every raw socket sees every ICMP packet of the host; with many probes in flight at once each
// must still get its own reply, and not a neighbour's. A reply never comes back sooner than its
// host's delay, so a neighbour's quicker reply shows as a round trip below the delay, and a stray
// reply to a silent host shows as a probe not lost. Load only lengthens round trips, so no upper
// bound is checked.
TEST(RawProbes, ManyTargetsAtOnceEachGetTheirOwnReply) {
  REQUIRE_PRIVATE_NETWORK();
  SetPingGroupRange(false);
  TestHost host;
  MonitorHarness harness;
  struct Target {
    std::string address;
    int delay;  // -1: never answers
  };
  std::vector<Target> targets;
  for (int i = 0; i < 40; ++i) {
    const std::string address = i % 2 ? TestHost::V6(100 + i) : TestHost::V4(100 + i);
    if (i % 4 == 3) {
      host.Drop(address);
      targets.push_back({address, -1});
    } else {
      targets.push_back({address, 2 + 2 * i});
      host.Answer(address, std::chrono::milliseconds(targets.back().delay));
    }
  }
  for (const Target& t : targets) harness.monitor().AddTarget(t.address, 100, 1000, "");
  for (const Target& t : targets) {
    ASSERT_TRUE(harness.WaitForNotifications(t.address, 3)) << t.address;
  }
  harness.DestroyMonitor();
  for (const Target& t : targets) {
    for (const auto& n : harness.NotificationsOf(t.address)) {
      if (t.delay < 0) {
        EXPECT_EQ(n.stats.Lost, n.stats.Sent) << t.address;
      } else {
        EXPECT_EQ(n.stats.Lost, 0) << t.address;
        EXPECT_GE(n.stats.LastLatency, t.delay - 1) << t.address;  // whole milliseconds
      }
    }
  }
}

}  // namespace
