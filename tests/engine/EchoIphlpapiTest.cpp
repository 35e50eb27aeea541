// The iphlpapi echo service against fakes of the five entry points: what each probe passes to the
// system, how it reads the reply buffer, and what a missing entry point does. The fakes check the
// reply buffer as the system does, so a buffer too small for the reply fails here as it would on
// Windows. Wine has no IPv6 echo, so this is where the IPv6 path is tested.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "EchoService.h"
#include "MonitorHarness.h"
#include "platform/EchoIphlpapi.h"

namespace {

using namespace std::chrono_literals;

HANDLE const kFakeHandle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x4711));

// What the fakes were called with, and what they answer. One probe at a time: the tests below
// run their probes on one thread, or through one monitor target.
struct TFakeIcmp {
  // The answer
  DWORD OpenError = 0;  // non-zero: the create call fails with it
  DWORD ReplyCount = 1;
  ULONG Status = 0;
  ULONG RoundTripTime = 0;
  DWORD LastError = 0;

  // The calls
  int Opened = 0;
  std::vector<HANDLE> Closed;
  int Sent = 0;
  HANDLE Handle = nullptr;
  IPAddr Destination4 = 0;
  sockaddr_in6 Source6{};
  sockaddr_in6 Destination6{};
  bool EventAndRoutineNull = false;
  std::vector<uint8_t> Payload;
  bool OptionsNull = false;
  DWORD ReplySize = 0;
  DWORD Timeout = 0;
};
TFakeIcmp Fake;

HANDLE WINAPI FakeCreate() {
  ++Fake.Opened;
  if (Fake.OpenError != 0) {
    SetLastError(Fake.OpenError);
    return INVALID_HANDLE_VALUE;
  }
  return kFakeHandle;
}

BOOL WINAPI FakeClose(HANDLE handle) {
  Fake.Closed.push_back(handle);
  return TRUE;
}

void Record(HANDLE handle, LPVOID data, WORD size, PIP_OPTION_INFORMATION options, DWORD replySize,
            DWORD timeout) {
  ++Fake.Sent;
  Fake.Handle = handle;
  const auto* bytes = static_cast<const uint8_t*>(data);
  Fake.Payload.assign(bytes, bytes + size);
  Fake.OptionsNull = options == nullptr;
  Fake.ReplySize = replySize;
  Fake.Timeout = timeout;
}

// The whole room the system asks for is written, so that a buffer the size check let through
// really holds it.
void FillReply(LPVOID reply, std::size_t recordSize, LPVOID data, WORD size, std::size_t room) {
  auto* out = static_cast<uint8_t*>(reply);
  std::fill(out + recordSize, out + room, uint8_t{0xEE});
  std::memcpy(out + recordSize, data, size);  // the echoed request follows the record
}

DWORD Answer() {
  SetLastError(Fake.LastError);
  return Fake.ReplyCount;
}

DWORD WINAPI FakeSendEcho(HANDLE handle, IPAddr destination, LPVOID data, WORD size,
                          PIP_OPTION_INFORMATION options, LPVOID reply, DWORD replySize,
                          DWORD timeout) {
  Record(handle, data, size, options, replySize, timeout);
  Fake.Destination4 = destination;
  // IcmpSendEcho wants one reply record, the request and an ICMP error's 8 bytes.
  const std::size_t room = sizeof(ICMP_ECHO_REPLY) + size + 8;
  if (replySize < room) {
    SetLastError(IP_BUF_TOO_SMALL);
    return 0;
  }
  FillReply(reply, sizeof(ICMP_ECHO_REPLY), data, size, room);
  ICMP_ECHO_REPLY record{};
  record.Address = destination;
  record.Status = Fake.Status;
  record.RoundTripTime = Fake.RoundTripTime;
  record.DataSize = size;
  std::memcpy(reply, &record, sizeof record);
  return Answer();
}

DWORD WINAPI FakeSendEcho6(HANDLE handle, HANDLE event, PVOID routine, PVOID context,
                           sockaddr_in6* source, sockaddr_in6* destination, LPVOID data, WORD size,
                           PIP_OPTION_INFORMATION options, LPVOID reply, DWORD replySize,
                           DWORD timeout) {
  Record(handle, data, size, options, replySize, timeout);
  Fake.EventAndRoutineNull = event == nullptr && routine == nullptr && context == nullptr;
  Fake.Source6 = *source;
  Fake.Destination6 = *destination;
  // Icmp6SendEcho2 also wants room for an IO_STATUS_BLOCK.
  const std::size_t room = sizeof(TIcmpV6EchoReply) + size + 8 + sizeof(IO_STATUS_BLOCK);
  if (replySize < room) {
    SetLastError(IP_BUF_TOO_SMALL);
    return 0;
  }
  FillReply(reply, sizeof(TIcmpV6EchoReply), data, size, room);
  TIcmpV6EchoReply record{};
  std::memcpy(record.Address.sin6_addr, &destination->sin6_addr, 16);
  record.Status = Fake.Status;
  record.RoundTripTime = Fake.RoundTripTime;
  std::memcpy(reply, &record, sizeof record);
  return Answer();
}

TIcmpEntryPoints AllFakes() {
  TIcmpEntryPoints api;
  api.LibraryLoaded = true;
  api.IcmpCreateFile = FakeCreate;
  api.IcmpCloseHandle = FakeClose;
  api.IcmpSendEcho = FakeSendEcho;
  api.Icmp6CreateFile = FakeCreate;
  api.Icmp6SendEcho2 = FakeSendEcho6;
  return api;
}

const std::vector<uint8_t> kTest = {'T', 'e', 's', 't'};
const std::vector<uint8_t> kIPv6Payload(32, 0xAA);

TIPv4Address Loopback4() {
  in_addr address{};
  inet_pton(AF_INET, "127.0.0.1", &address);
  return address.s_addr;
}

TIPv6Address Address6(const char* text) {
  TIPv6Address address{};
  inet_pton(AF_INET6, text, address.data());
  return address;
}

class EchoIphlpapiTest : public ::testing::Test {
 protected:
  void SetUp() override { Fake = TFakeIcmp{}; }

  TEchoReply Probe(bool ipv6) {
    const auto service = MakeIphlpapiEchoService(AllFakes());
    uint32_t error = 0;
    const std::unique_ptr<TEchoHandle> handle = service->Open(ipv6, error);
    if (!handle) {
      ADD_FAILURE() << "no handle, error " << error;
      return {};
    }
    return ipv6 ? handle->SendEcho6(Address6("2001:db8::5"), kIPv6Payload, 1500)
                : handle->SendEcho4(Loopback4(), kTest, 1500);
  }
};

TEST_F(EchoIphlpapiTest, IPv4RequestGoesOutAsGiven) {
  Probe(false);
  ASSERT_EQ(Fake.Sent, 1);
  EXPECT_EQ(Fake.Handle, kFakeHandle);
  EXPECT_EQ(Fake.Destination4, Loopback4());
  EXPECT_EQ(Fake.Payload, kTest);
  EXPECT_TRUE(Fake.OptionsNull);
  EXPECT_EQ(Fake.ReplySize, 60u);
  EXPECT_EQ(Fake.Timeout, 1500u);
}

// From the unspecified source, synchronously, with a reply buffer the system accepts: room for
// the reply record and the request alone (68 bytes) would be refused.
TEST_F(EchoIphlpapiTest, IPv6RequestGoesOutAsGiven) {
  const TEchoReply reply = Probe(true);
  ASSERT_EQ(Fake.Sent, 1);
  EXPECT_EQ(reply.ReplyCount, 1u) << "error " << reply.LastError;
  EXPECT_EQ(Fake.Handle, kFakeHandle);
  EXPECT_TRUE(Fake.EventAndRoutineNull);
  sockaddr_in6 unspecified{};
  unspecified.sin6_family = AF_INET6;
  EXPECT_EQ(std::memcmp(&Fake.Source6, &unspecified, sizeof unspecified), 0);
  EXPECT_EQ(Fake.Destination6.sin6_family, AF_INET6);
  EXPECT_EQ(Fake.Destination6.sin6_port, 0);
  EXPECT_EQ(Fake.Destination6.sin6_flowinfo, 0u);
  EXPECT_EQ(Fake.Destination6.sin6_scope_id, 0u);
  EXPECT_EQ(std::memcmp(&Fake.Destination6.sin6_addr, Address6("2001:db8::5").data(), 16), 0);
  EXPECT_EQ(Fake.Payload, kIPv6Payload);
  EXPECT_TRUE(Fake.OptionsNull);
  EXPECT_EQ(Fake.ReplySize, IPv6ReplyBufferSize(32));
  EXPECT_EQ(Fake.Timeout, 1500u);
}

struct ReplyCase {
  const char* name;
  bool ipv6;
  DWORD replyCount;
  ULONG status;
  ULONG roundTripTime;
  DWORD lastError;
  TEchoReply expected;
};

void PrintTo(const ReplyCase& c, std::ostream* out) {
  *out << c.name;
}

class EchoReplyTest : public EchoIphlpapiTest, public ::testing::WithParamInterface<ReplyCase> {};

// Status and time come from the first record; without one only the count and the error count.
TEST_P(EchoReplyTest, IsReadFromTheReplyBuffer) {
  const ReplyCase& c = GetParam();
  Fake.ReplyCount = c.replyCount;
  Fake.Status = c.status;
  Fake.RoundTripTime = c.roundTripTime;
  Fake.LastError = c.lastError;
  const TEchoReply reply = Probe(c.ipv6);
  EXPECT_EQ(reply.ReplyCount, c.expected.ReplyCount);
  EXPECT_EQ(reply.Status, c.expected.Status);
  EXPECT_EQ(reply.RoundTripTime, c.expected.RoundTripTime);
  EXPECT_EQ(reply.LastError, c.expected.LastError);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, EchoReplyTest,
    ::testing::Values(
        ReplyCase{"IPv4Answered", false, 1, IP_SUCCESS, 17, 0, {1, 0, 17, 0}},
        ReplyCase{"IPv4Unreachable", false, 1, IP_DEST_HOST_UNREACHABLE, 3, 0, {1, 11003, 3, 0}},
        ReplyCase{
            "IPv4TimedOut", false, 0, IP_REQ_TIMED_OUT, 0, IP_REQ_TIMED_OUT, {0, 0, 0, 11010}},
        ReplyCase{"IPv6Answered", true, 1, IP_SUCCESS, 23, 0, {1, 0, 23, 0}},
        ReplyCase{"IPv6Unreachable", true, 1, IP_DEST_HOST_UNREACHABLE, 1, 0, {1, 11003, 1, 0}},
        ReplyCase{
            "IPv6TimedOut", true, 0, IP_REQ_TIMED_OUT, 0, IP_REQ_TIMED_OUT, {0, 0, 0, 11010}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EchoIphlpapiTest, HandleIsClosedOnceWhenDropped) {
  const auto service = MakeIphlpapiEchoService(AllFakes());
  for (const bool ipv6 : {false, true}) {
    Fake.Closed.clear();
    uint32_t error = 0;
    std::unique_ptr<TEchoHandle> handle = service->Open(ipv6, error);
    ASSERT_TRUE(handle);
    EXPECT_TRUE(Fake.Closed.empty());
    handle.reset();
    EXPECT_EQ(Fake.Closed, std::vector<HANDLE>{kFakeHandle}) << (ipv6 ? "IPv6" : "IPv4");
  }
}

TEST_F(EchoIphlpapiTest, HandleThatCannotBeOpenedGivesItsErrorAndIsNotClosed) {
  Fake.OpenError = ERROR_NOT_ENOUGH_MEMORY;
  const auto service = MakeIphlpapiEchoService(AllFakes());
  for (const bool ipv6 : {false, true}) {
    uint32_t error = 0;
    EXPECT_FALSE(service->Open(ipv6, error));
    EXPECT_EQ(error, static_cast<uint32_t>(ERROR_NOT_ENOUGH_MEMORY));
  }
  EXPECT_TRUE(Fake.Closed.empty());
}

struct MissingCase {
  const char* name;
  void (*remove)(TIcmpEntryPoints& api);
  const char* ipv4Error;  // null: IPv4 probes still work
  const char* ipv6Error;
};

void PrintTo(const MissingCase& c, std::ostream* out) {
  *out << c.name;
}

class MissingEntryPointTest : public EchoIphlpapiTest,
                              public ::testing::WithParamInterface<MissingCase> {};

std::string OpenError(TEchoService& service, bool ipv6) {
  uint32_t error = 0;
  try {
    service.Open(ipv6, error);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}

// Only the probes that need the missing function fail, and before any handle is opened.
TEST_P(MissingEntryPointTest, FailsTheProbesThatNeedIt) {
  const MissingCase& c = GetParam();
  TIcmpEntryPoints api = AllFakes();
  c.remove(api);
  const auto service = MakeIphlpapiEchoService(api);
  EXPECT_EQ(OpenError(*service, false), c.ipv4Error ? c.ipv4Error : "");
  EXPECT_EQ(Fake.Opened, c.ipv4Error ? 0 : 1);
  Fake.Opened = 0;
  EXPECT_EQ(OpenError(*service, true), c.ipv6Error ? c.ipv6Error : "");
  EXPECT_EQ(Fake.Opened, c.ipv6Error ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    EntryPoints, MissingEntryPointTest,
    ::testing::Values(
        MissingCase{"Library", [](TIcmpEntryPoints& api) { api = TIcmpEntryPoints{}; },
                    "ICMP服务不可用: 无法加载 iphlpapi.dll",
                    "ICMP服务不可用: 无法加载 iphlpapi.dll"},
        MissingCase{"IcmpCreateFile", [](TIcmpEntryPoints& api) { api.IcmpCreateFile = nullptr; },
                    "ICMP服务不可用: iphlpapi.dll 中没有 IcmpCreateFile", nullptr},
        MissingCase{"IcmpSendEcho", [](TIcmpEntryPoints& api) { api.IcmpSendEcho = nullptr; },
                    "ICMP服务不可用: iphlpapi.dll 中没有 IcmpSendEcho", nullptr},
        MissingCase{"IcmpCloseHandle", [](TIcmpEntryPoints& api) { api.IcmpCloseHandle = nullptr; },
                    "ICMP服务不可用: iphlpapi.dll 中没有 IcmpCloseHandle",
                    "ICMP服务不可用: iphlpapi.dll 中没有 IcmpCloseHandle"},
        MissingCase{"Icmp6CreateFile", [](TIcmpEntryPoints& api) { api.Icmp6CreateFile = nullptr; },
                    nullptr, "ICMP服务不可用: iphlpapi.dll 中没有 Icmp6CreateFile"},
        MissingCase{"Icmp6SendEcho2", [](TIcmpEntryPoints& api) { api.Icmp6SendEcho2 = nullptr; },
                    nullptr, "ICMP服务不可用: iphlpapi.dll 中没有 Icmp6SendEcho2"}),
    [](const auto& info) { return std::string(info.param.name); });

// The real library, looked up as the program does: every name is there.
TEST(IcmpEntryPoints, SystemLibraryHasAllFive) {
  const TIcmpEntryPoints api = LoadIcmpEntryPoints();
  EXPECT_TRUE(api.LibraryLoaded);
  EXPECT_NE(api.IcmpCreateFile, nullptr);
  EXPECT_NE(api.IcmpCloseHandle, nullptr);
  EXPECT_NE(api.IcmpSendEcho, nullptr);
  EXPECT_NE(api.Icmp6CreateFile, nullptr);
  EXPECT_NE(api.Icmp6SendEcho2, nullptr);
}

// Through a monitor: a missing function makes every round of that target an error line without
// a notification, and leaves the figures alone; the IPv6 reply is counted with its time.
class EchoThroughMonitorTest : public EchoIphlpapiTest {};

TEST_F(EchoThroughMonitorTest, MissingSendFunctionFailsEveryRoundWithoutNotification) {
  TIcmpEntryPoints api = AllFakes();
  api.IcmpSendEcho = nullptr;
  MonitorHarness harness(MakeIphlpapiEchoService(api));
  harness.monitor().AddTarget("127.0.0.1", 10, 100, "本机");
  const std::string line = "Ping异常: ICMP服务不可用: iphlpapi.dll 中没有 IcmpSendEcho";
  // Nothing is handed to the UI thread that could end a wait, so the lines are polled for.
  for (int i = 0; i < 1000 && harness.CountLines(line) < 3; ++i) harness.ServiceFor(10ms);
  ASSERT_GE(harness.CountLines(line), 3u);
  harness.DestroyMonitor();
  EXPECT_TRUE(harness.notifications().empty());
  EXPECT_EQ(Fake.Opened, 0);
}

TEST_F(EchoThroughMonitorTest, IPv6ReplyIsCountedWithItsTime) {
  Fake.RoundTripTime = 7;
  MonitorHarness harness(MakeIphlpapiEchoService(AllFakes()));
  harness.monitor().AddTarget("::1", 10, 100, "本机");
  ASSERT_TRUE(harness.WaitForNotifications("::1", 2));
  harness.DestroyMonitor();
  const TPingStatistics stats = harness.NotificationsOf("::1").back().stats;
  EXPECT_EQ(stats.Lost, 0);
  EXPECT_EQ(stats.LastLatency, 7);
  EXPECT_GE(harness.CountLines("IPv6 ping to ::1 succeeded in 7ms"), 2u);
  EXPECT_EQ(Fake.Closed.size(), static_cast<std::size_t>(Fake.Opened));
}

}  // namespace
