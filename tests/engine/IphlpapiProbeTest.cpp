// Real probes through iphlpapi.dll: run by wine_in_private_network.sh under Wine, inside a private
// network whose test host answers 198.18.0.3 after 30 ms and drops every other 198.18.0.x. The
// test host's request log shows what really went out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "MonitorHarness.h"
#include "platform/Resolver.h"

namespace {

using namespace std::chrono_literals;

const char* TestHostLog() {
  return std::getenv("HALVORO_TESTHOST_LOG");
}

// Outside the script's namespace there is no test host, and 198.18.0.x must not be probed.
#define REQUIRE_TEST_HOST()                                                    \
  do {                                                                         \
    if (!TestHostLog()) {                                                      \
      const char* why = "not inside wine_in_private_network.sh: no test host"; \
      const char* ci = std::getenv("CI");                                      \
      if (ci && std::string(ci) == "true") FAIL() << why;                      \
      GTEST_SKIP() << why;                                                     \
    }                                                                          \
  } while (false)

struct LoggedRequest {
  std::string source, destination;
  std::size_t payloadBytes = 0;
};

// The test host's lines: SECONDS SOURCE DESTINATION IDENTIFIER SEQUENCE PAYLOAD_BYTES.
std::vector<LoggedRequest> RequestsTo(const std::string& address) {
  std::vector<LoggedRequest> out;
  std::ifstream in(TestHostLog());
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string seconds, identifier, sequence;
    LoggedRequest request;
    fields >> seconds >> request.source >> request.destination >> identifier >> sequence >>
        request.payloadBytes;
    if (fields && request.destination == address) out.push_back(request);
  }
  return out;
}

// The log is written every 20 ms.
std::vector<LoggedRequest> WaitForRequestsTo(const std::string& address, std::size_t count) {
  std::vector<LoggedRequest> requests;
  for (int i = 0; i < 100 && (requests = RequestsTo(address)).size() < count; ++i) {
    std::this_thread::sleep_for(20ms);
  }
  return requests;
}

std::vector<int32_t> Latencies(const MonitorHarness& harness, const std::string& host) {
  std::vector<int32_t> out;
  for (const auto& n : harness.NotificationsOf(host)) out.push_back(n.stats.LastLatency);
  return out;
}

TEST(IphlpapiProbe, LoopbackIsAnswered) {
  REQUIRE_TEST_HOST();
  MonitorHarness harness;
  harness.monitor().AddTarget("127.0.0.1", 50, 1000, "本机");
  ASSERT_TRUE(harness.WaitForNotifications("127.0.0.1", 3));
  harness.DestroyMonitor();
  for (const int32_t latency : Latencies(harness, "127.0.0.1")) EXPECT_GE(latency, 0);
  EXPECT_EQ(harness.NotificationsOf("127.0.0.1").back().stats.Lost, 0);
  EXPECT_GE(harness.CountLinesStartingWith("Ping Success状态: True, 状态: 0, 延迟: "), 3u);
  EXPECT_GE(harness.CountLinesStartingWith("Ping成功 127.0.0.1 -> 127.0.0.1 延迟: "), 3u);
}

TEST(IphlpapiProbe, TestHostAnswerIsTimedAndCarriesTheFourBytes) {
  REQUIRE_TEST_HOST();
  const std::string address = "198.18.0.3";
  MonitorHarness harness;
  harness.monitor().AddTarget(address, 100, 1000, "测试");
  ASSERT_TRUE(harness.WaitForNotifications(address, 5));
  harness.DestroyMonitor();

  std::vector<int32_t> latencies = Latencies(harness, address);
  std::sort(latencies.begin(), latencies.end());
  const int32_t median = latencies[latencies.size() / 2];
  EXPECT_GE(median, 30) << "the test host answers after 30 ms";
  EXPECT_LE(median, 80);
  EXPECT_EQ(harness.NotificationsOf(address).back().stats.Lost, 0);

  const std::vector<LoggedRequest> requests = WaitForRequestsTo(address, 5);
  ASSERT_GE(requests.size(), 5u);
  for (const LoggedRequest& request : requests) {
    EXPECT_EQ(request.source, "198.18.0.1");
    EXPECT_EQ(request.payloadBytes, 4u) << "the request carries \"Test\"";
  }
}

// The request really goes out and nothing comes back: the system reports a timeout.
TEST(IphlpapiProbe, DroppedRequestIsLostAfterTheTimeout) {
  REQUIRE_TEST_HOST();
  const std::string address = "198.18.0.2";
  MonitorHarness harness;
  harness.monitor().AddTarget(address, 100, 300, "丢包");
  ASSERT_TRUE(harness.WaitForNotifications(address, 3));
  harness.DestroyMonitor();

  for (const int32_t latency : Latencies(harness, address)) EXPECT_EQ(latency, -1);
  const TPingStatistics last = harness.NotificationsOf(address).back().stats;
  EXPECT_EQ(last.Lost, last.Sent);
  EXPECT_GE(harness.CountLines("Ping失败， 状态: 11010, 延迟: 0ms ，错误码: 11010"), 3u);
  EXPECT_GE(harness.CountLines("Ping失败 198.18.0.2 -> 198.18.0.2 (状态: 11010)"), 3u);
  EXPECT_GE(WaitForRequestsTo(address, 3).size(), 3u);
}

// Wine's iphlpapi has no IPv6 echo: its Icmp6CreateFile fails with ERROR_CALL_NOT_IMPLEMENTED,
// which takes the path of a handle that cannot be opened. Windows answers ::1.
TEST(IphlpapiProbe, IPv6LoopbackIsAnsweredOrTheHandleFailureIsReported) {
  REQUIRE_TEST_HOST();
  MonitorHarness harness;
  harness.monitor().AddTarget("::1", 50, 1000, "本机");
  ASSERT_TRUE(harness.WaitForNotifications("::1", 3));
  harness.DestroyMonitor();
  const TPingStatistics last = harness.NotificationsOf("::1").back().stats;
  if (harness.CountLinesStartingWith("Icmp6CreateFile failed. Error 120: ") > 0) {
    EXPECT_EQ(harness.CountLinesStartingWith("Icmp6CreateFile failed. Error 120: "),
              harness.NotificationsOf("::1").size());
    EXPECT_EQ(last.Sent, 0) << "an abandoned probe is not counted";
    EXPECT_EQ(last.LastLatency, -1);
  } else {
    EXPECT_EQ(last.Lost, 0);
    EXPECT_GE(harness.CountLinesStartingWith("IPv6 ping to ::1 succeeded in "), 3u);
  }
}

// Names in UTF-16: a name outside ASCII reaches the resolver as typed, in any code page.
TEST(Resolver, NamesResolveIPv4First) {
  REQUIRE_TEST_HOST();
  EXPECT_EQ(ResolveNumericAddresses("answering.halvoro.test"),
            (std::vector<std::string>{"198.18.0.3", "2001:db8:18::3"}));
  EXPECT_EQ(ResolveNumericAddresses("测试主机.halvoro.test"),
            std::vector<std::string>{"198.18.0.3"});
  EXPECT_TRUE(ResolveNumericAddresses("absent.halvoro.test").empty());
}

}  // namespace
