// The engine when the system runs short of descriptors or threads.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>

#include "MonitorHarness.h"
#include "MountNamespace.h"
#include "PrivateNetwork.h"
#include "SocketLibrary.h"
#include "TestHost.h"

namespace {

using namespace std::chrono_literals;

class ScopedDescriptorLimit {
 public:
  explicit ScopedDescriptorLimit(rlim_t limit) {
    getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit low{limit, saved_.rlim_max};
    setrlimit(RLIMIT_NOFILE, &low);
  }
  ~ScopedDescriptorLimit() { Restore(); }
  void Restore() { setrlimit(RLIMIT_NOFILE, &saved_); }

 private:
  rlimit saved_{};
};

// Out of descriptors, a probe that cannot open its socket is not counted but still notified;
// once descriptors are free again probing goes on by itself.
TEST(ScarceDescriptors, ProbesWithoutASocketRecoverWhenDescriptorsAreFree) {
  REQUIRE_PRIVATE_NETWORK();
  SetPingGroupRange(true);  // a datagram socket per probe
  TestHost host;
  std::vector<std::string> targets;
  for (int i = 0; i < 200; ++i) {
    targets.push_back(TestHost::V4(2 + i));
    host.Answer(targets.back(), 300ms);  // each probe holds its socket a while
  }
  MonitorHarness harness;
  ScopedDescriptorLimit limit(64);
  for (const auto& address : targets) harness.monitor().AddTarget(address, 100, 1000, "");
  harness.ServiceFor(1500ms);
  std::set<std::string> expected;
  for (const auto& address : targets) {
    expected.insert("ICMP句柄创建失败 " + address + " (错误 24: Too many open files)");
  }
  std::size_t refusals = 0;
  for (const auto& line : harness.Lines()) {
    if (line.rfind("ICMP句柄创建失败 ", 0) != 0) continue;
    ++refusals;
    EXPECT_EQ(expected.count(line), 1u) << line << ": a refusal names its host and the reason";
  }
  EXPECT_GT(refusals, 0u) << "the limit was never reached";

  limit.Restore();
  harness.ServiceFor(500ms);  // probes that had sockets before the change end meanwhile
  std::map<std::string, int32_t> sentBefore;
  for (const auto& address : targets) sentBefore[address] = harness.monitor().GetStatistics(address).Sent;
  const std::size_t refusalsBefore = harness.CountLinesStartingWith("ICMP句柄创建失败 ");
  harness.ServiceFor(1500ms);
  EXPECT_EQ(harness.CountLinesStartingWith("ICMP句柄创建失败 "), refusalsBefore);
  for (const auto& address : targets) {
    EXPECT_GT(harness.monitor().GetStatistics(address).Sent, sentBefore[address]) << address;
  }
  harness.DestroyMonitor();

  // Refused rounds were notified but not counted: every count is a request the host saw.
  for (const auto& address : targets) {
    const auto notifications = harness.NotificationsOf(address);
    ASSERT_FALSE(notifications.empty());
    EXPECT_EQ(notifications.back().stats.Sent, static_cast<int32_t>(host.RequestsTo(address).size()))
        << address;
    EXPECT_EQ(notifications.back().stats.Lost, 0) << address;
  }
}

// A thousand hosts that never answer keep a thousand probes, and as many sockets, waiting at once:
// more than the usual soft limit of 1024 descriptors, which the socket library lifts.
TEST(ScarceDescriptors, MoreSilentTargetsThanTheUsualLimitAllGetTheirSockets) {
  REQUIRE_PRIVATE_NETWORK();
  SetPingGroupRange(true);
  constexpr int kTargets = 1100;
  rlimit system{};
  getrlimit(RLIMIT_NOFILE, &system);
  if (system.rlim_max < kTargets + 200) GTEST_SKIP() << "the hard limit leaves no room";
  TestHost host;  // silent: addresses it is not told about are dropped
  ScopedDescriptorLimit limit(1024);
  const TSocketLibrary sockets;
  MonitorHarness harness;
  std::vector<std::string> targets;
  for (int i = 0; i < kTargets; ++i) {
    targets.push_back(TestHost::V6(2 + i));
    harness.monitor().AddTarget(targets.back(), 1000, 1000, "");
  }
  ASSERT_TRUE(harness.ServiceUntil([&] { return harness.notifications().size() >= kTargets; },
                                   std::chrono::seconds(30)));
  harness.DestroyMonitor();
  EXPECT_EQ(harness.CountLinesStartingWith("Icmp6CreateFile failed"), 0u);
  for (const auto& address : targets) {
    EXPECT_GE(harness.NotificationsOf(address).front().stats.Sent, 1) << address;
  }
}

// A worker thread that cannot be started leaves nothing behind and says why.
TEST(ScarceThreads, AddingATargetFailsCleanly) {
  const TChildOutcome outcome = RunInChild([] {
    // Root is exempt from the process limit, so the child becomes nobody first.
    if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) {
      throw TMountUnavailable("cannot drop to nobody");
    }
    rlimit none{0, 0};
    setrlimit(RLIMIT_NPROC, &none);
    TSynchronizer ui;
    TICMPMonitor monitor(ui);
    std::string message;
    try {
      monitor.AddTarget("127.0.0.1", 1000, 1000, "x");
    } catch (const std::exception& e) {
      message = e.what();
    }
    return message + "|" + (monitor.FindThread("127.0.0.1") ? "registered" : "not registered") +
           "|" + std::to_string(monitor.GetAllStatistics().size());
  });
  if (outcome.Status == TChildOutcome::TStatus::Unavailable) SKIP_OR_FAIL_IN_CI(outcome.Text);
  ASSERT_EQ(outcome.Status, TChildOutcome::TStatus::Finished) << outcome.Text;
  EXPECT_EQ(outcome.Text,
            "无法创建监控线程: 127.0.0.1 (Resource temporarily unavailable)|not registered|0");
}

}  // namespace

namespace {

// Lays a resolver file over /etc/resolv.conf for the life of the object (this process has its
// own mount namespace).
class ScopedResolverFile {
 public:
  explicit ScopedResolverFile(const std::string& text) {
    path_ = "/tmp/halvoro-resolv-" + std::to_string(getpid());
    std::ofstream(path_) << text;
    // The private network's own resolver file is a mount of a file already deleted, which
    // cannot be mounted over; it is taken away first (nothing here can reach a server anyway).
    umount2("/etc/resolv.conf", MNT_DETACH);
    if (mount(path_.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0) {
      throw std::runtime_error(std::string("cannot bind-mount a resolver file: ") + std::strerror(errno));
    }
  }
  ~ScopedResolverFile() {
    umount2("/etc/resolv.conf", MNT_DETACH);
    std::remove(path_.c_str());
  }

 private:
  std::string path_;
};

// A name server that never answers: adding a name fails after the resolver's own timeout, with
// the resolver's message, and nothing is registered.
TEST(SilentResolver, AddingANameFailsAfterTheResolversTimeout) {
  REQUIRE_PRIVATE_NETWORK();
  TestHost host;
  host.Drop("198.18.0.53");
  ScopedResolverFile resolver("nameserver 198.18.0.53\noptions timeout:1 attempts:2\n");
  MonitorHarness harness;
  const auto start = std::chrono::steady_clock::now();
  std::string message;
  try {
    harness.monitor().AddTarget("gateway.halvoro.test", 1000, 1000, "x");
  } catch (const std::exception& e) {
    message = e.what();
  }
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  std::printf("[ figure ] silent name server (timeout:1 attempts:2): AddTarget blocked %lld ms\n",
              static_cast<long long>(took.count()));
  EXPECT_EQ(message, "无法解析主机: gateway.halvoro.test");
  EXPECT_GE(took, 1s) << "the resolver waited for its server";
  EXPECT_EQ(harness.monitor().FindThread("gateway.halvoro.test"), nullptr);
}

}  // namespace
