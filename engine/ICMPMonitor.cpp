#include "ICMPMonitor.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "Diagnostics.h"
#include "EchoService.h"
#include "HostMatch.h"
#include "Synchronizer.h"
#include "platform/Resolver.h"
#include "platform/Sockets.h"

namespace {

constexpr uint8_t kIPv4Payload[] = {'T', 'e', 's', 't'};

constexpr std::array<uint8_t, 32> IPv6Payload() {
  std::array<uint8_t, 32> payload{};
  for (auto& b : payload) b = 0xAA;
  return payload;
}
constexpr std::array<uint8_t, 32> kIPv6Payload = IPv6Payload();

// An address text that the probe cannot use: the probe is abandoned without a word.
class TAddressFormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Texts with an embedded NUL would reach the C interfaces cut short and name another host.
bool HasNul(const std::string& text) {
  return text.find('\0') != std::string::npos;
}

TIPv4Address ParseIPv4(const std::string& text) {
  in_addr address{};
  // inet_pton rather than inet_addr: inet_addr cannot tell 255.255.255.255 from an error.
  if (HasNul(text) || inet_pton(AF_INET, text.c_str(), &address) != 1) {
    throw TAddressFormatError("无效的IP地址格式: " + text);
  }
  TIPv4Address out;
  static_assert(sizeof(out) == sizeof(address));
  std::memcpy(&out, &address, sizeof(out));
  return out;
}

TIPv6Address ParseIPv6(const std::string& text) {
  in6_addr address{};
  if (HasNul(text) || inet_pton(AF_INET6, text.c_str(), &address) != 1) {
    throw TAddressFormatError("无效的IPv6地址格式: " + text);
  }
  TIPv6Address out;
  static_assert(sizeof(out) == sizeof(address));
  std::memcpy(out.data(), &address, sizeof(address));
  return out;
}

std::string Decimal(int64_t value) {
  return std::to_string(value);
}
std::string Signed32(uint32_t value) {
  return std::to_string(static_cast<int32_t>(value));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TMonitorThread

TMonitorThread::TMonitorThread(TICMPMonitor& Monitor, const std::string& Host,
                               const std::string& DstIP, uint32_t Interval, uint32_t Timeout,
                               bool IsIPv6, const std::string& Note)
    : FHost(Host),
      FIP(DstIP),
      FInterval(Interval),
      FTimeout(Timeout),
      FMonitor(Monitor),
      FIsIPv6(IsIPv6),
      FNote(Note) {
  if (FIP.empty()) throw std::runtime_error("无效的主机或DNS解析失败: " + Host);
  FStatistics = NewTargetStatistics(Note, DstIP, IsIPv6);
}

TMonitorThread::~TMonitorThread() {
  // The monitor joins every worker before freeing it; this only guards against std::terminate.
  if (thread_.joinable()) {
    Terminate();
    thread_.join();
  }
}

std::vector<int32_t> TMonitorThread::LatencyHistory() const {
  std::lock_guard<std::mutex> hold(FMonitor.FCS);
  return FLatencyHistory.ToVector();
}

void TMonitorThread::Start() {
  started_ = std::chrono::steady_clock::now();
  thread_ = std::thread(&TMonitorThread::Execute, this);
}

void TMonitorThread::Terminate() {
  terminated_.store(true);
  std::lock_guard<std::mutex> hold(wakeLock_);
  wake_.notify_all();
}

void TMonitorThread::Join() {
  if (thread_.joinable()) thread_.join();
}

void TMonitorThread::Execute() {
  // The schedule counts from the moment the target was added, to the nanosecond: a worker that
  // reaches the processor late (a thousand are started at once) still sends its next probes on
  // time. That moment is past, so the first probe goes out at once.
  std::chrono::steady_clock::time_point deadline = started_;
  while (!terminated_.load()) {
    if (std::chrono::steady_clock::now() < deadline) {
      WaitForDeadline(deadline);
      continue;
    }
    try {
      if (FIsIPv6) {
        PingIPv6();
      } else {
        PingIPv4();
      }
      NotifyStatus();
    } catch (const std::exception& error) {
      DebugOutput(std::string("Ping异常: ") + error.what());
    } catch (...) {
      DebugOutput("Ping异常: unknown error");
    }
    // From the previous deadline, never from the clock: late probes are caught up.
    deadline += std::chrono::milliseconds(FInterval);
  }
  finished_.store(true);
  FMonitor.FUi.Signal();
}

void TMonitorThread::WaitForDeadline(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> hold(wakeLock_);
  // Until the deadline's very moment, not a rounded number of milliseconds from now.
  wake_.wait_until(hold, deadline, [this] { return terminated_.load(); });
}

void TMonitorThread::CountProbe(bool answered, uint32_t roundTripMs) {
  std::lock_guard<std::mutex> hold(FMonitor.FCS);
  ApplyProbeUpdate(
      FStatistics, FLatencyHistory,
      answered ? std::optional<int32_t>(static_cast<int32_t>(roundTripMs)) : std::nullopt);
}

void TMonitorThread::PingIPv4() {
  TIPv4Address destination;
  try {
    destination = ParseIPv4(FIP);
  } catch (const TAddressFormatError&) {
    return;
  }
  TEchoService& echo = *FMonitor.FEcho;
  uint32_t error = 0;
  const std::unique_ptr<TEchoHandle> handle = echo.Open(false, error);
  if (!handle) {
    DebugOutput("ICMP句柄创建失败 " + FHost + " (错误 " + Signed32(error) + ": " +
                echo.ErrorText(error) + ")");
    return;
  }
  const TEchoReply reply = handle->SendEcho4(destination, kIPv4Payload, FTimeout);
  const bool answered = reply.ReplyCount != 0 && reply.Status == IpStatus::Success;
  if (answered) {
    DebugOutput("Ping Success状态: True, 状态: " + Signed32(reply.Status) +
                ", 延迟: " + Signed32(reply.RoundTripTime) + "ms");
    DebugOutput("Ping成功 " + FHost + " -> " + FIP + " 延迟: " + Signed32(reply.RoundTripTime) +
                "ms");
  } else {
    // Without a reply the status reads as the reason the call gave, so a timeout shows 11010.
    const uint32_t status = reply.ReplyCount != 0 ? reply.Status : reply.LastError;
    const uint32_t time = reply.ReplyCount != 0 ? reply.RoundTripTime : 0;
    DebugOutput("Ping失败， 状态: " + Signed32(status) + ", 延迟: " + Signed32(time) +
                "ms ，错误码: " + Signed32(reply.LastError));
    DebugOutput("Ping失败 " + FHost + " -> " + FIP + " (状态: " + Signed32(status) + ")");
  }
  CountProbe(answered, reply.RoundTripTime);
}

void TMonitorThread::PingIPv6() {
  TIPv6Address destination;
  try {
    destination = ParseIPv6(FIP);
  } catch (const TAddressFormatError&) {
    return;
  }
  TEchoService& echo = *FMonitor.FEcho;
  uint32_t error = 0;
  const std::unique_ptr<TEchoHandle> handle = echo.Open(true, error);
  if (!handle) {
    DebugOutput("Icmp6CreateFile failed. Error " + Signed32(error) + ": " + echo.ErrorText(error));
    return;
  }
  const TEchoReply reply = handle->SendEcho6(destination, kIPv6Payload, FTimeout);
  if (reply.ReplyCount == 0) {
    DebugOutput("Icmp6SendEcho2 failed. Error " + Signed32(reply.LastError) + ": " +
                echo.ErrorText(reply.LastError));
  }
  const bool answered = reply.ReplyCount != 0 && reply.Status == IpStatus::Success;
  CountProbe(answered, reply.RoundTripTime);
  if (answered) {
    DebugOutput("IPv6 ping to " + FHost + " succeeded in " + Signed32(reply.RoundTripTime) + "ms");
  } else {
    const uint32_t status = reply.ReplyCount != 0 ? reply.Status : 0;
    DebugOutput("IPv6 ping to " + FHost + " failed (Status: 0x" + HexUpper(status) + ")");
  }
}

void TMonitorThread::NotifyStatus() {
  FMonitor.FUi.Synchronize([this] {
    const TStatusUpdateEvent& handler = FMonitor.FOnStatusUpdate;
    if (!handler) return;
    // Copies, since the handler may change the note while it runs.
    const std::string host = FHost;
    const std::string note = FNote;
    handler(&FMonitor, host, note, FStatistics);
  });
}

// ---------------------------------------------------------------------------------------------
// TICMPMonitor

TICMPMonitor::TICMPMonitor(TSynchronizer& Ui, std::shared_ptr<TEchoService> Echo)
    : FUi(Ui), FEcho(Echo ? std::move(Echo) : PlatformEchoService()) {}

TICMPMonitor::~TICMPMonitor() {
  std::lock_guard<std::recursive_mutex> hold(FThreads.Lock);
  // Every worker is told first, so their probes in flight end together instead of one after
  // another; then they are waited for in order of addition. A handler run meanwhile still finds
  // the rest.
  for (const auto& thread : FThreads.Items) thread->Terminate();
  for (std::size_t i = 0; i < FThreads.Items.size(); ++i) StopAndJoin(*FThreads.Items[i]);
  FThreads.Items.clear();
}

void TICMPMonitor::StopAndJoin(TMonitorThread& thread) {
  thread.Terminate();
  // Notifications the worker is waiting for are delivered meanwhile, so it can end.
  FUi.ServiceUntil([&thread] { return thread.Finished(); });
  thread.Join();
}

void TICMPMonitor::AddTarget(const std::string& Host, uint32_t Interval, uint32_t Timeout,
                             const std::string& Note) {
  const std::vector<std::string> addresses = ResolveHostNameEx(Host);  // before any lock
  if (addresses.empty()) throw std::runtime_error("无法解析主机: " + Host);
  const std::string& address = addresses.front();
  const bool isIPv6 = IsValidIPv6Address(address);

  std::lock_guard<std::recursive_mutex> hold(FThreads.Lock);
  if (FindThread(Host)) return;
  FThreads.Items.push_back(
      std::make_unique<TMonitorThread>(*this, Host, address, Interval, Timeout, isIPv6, Note));
  try {
    FThreads.Items.back()->Start();
  } catch (const std::system_error& error) {
    FThreads.Items.pop_back();  // nothing half-registered stays behind
    throw std::runtime_error("无法创建监控线程: " + Host + " (" + error.what() + ")");
  }
  DebugOutput("已添加监控目标: " + Host + " (" + address + ") " + (isIPv6 ? "IPv6" : "IPv4"));
}

void TICMPMonitor::RemoveTarget(const std::string& Host) {
  std::lock_guard<std::recursive_mutex> hold(FThreads.Lock);
  auto& items = FThreads.Items;
  for (std::size_t i = items.size(); i-- > 0;) {
    if (i >= items.size() || !SameHost(items[i]->Host(), Host)) continue;
    DebugOutput("正在移除目标: " + Host);
    TMonitorThread* thread = items[i].get();
    StopAndJoin(*thread);
    // Found again by identity: a handler that ran during the wait may have changed the list.
    items.erase(std::find_if(items.begin(), items.end(),
                             [thread](const auto& item) { return item.get() == thread; }));
    DebugOutput("成功移除目标: " + Host);
  }
}

void TICMPMonitor::DebugThreadList() {
  std::lock_guard<std::recursive_mutex> hold(FThreads.Lock);
  DebugOutput("当前监控线程数: " + Decimal(static_cast<int64_t>(FThreads.Items.size())));
  for (std::size_t i = 0; i < FThreads.Items.size(); ++i) {
    const TMonitorThread& thread = *FThreads.Items[i];
    DebugOutput("线程" + Decimal(static_cast<int64_t>(i)) + ": " + thread.Host() + " (" +
                thread.IP() + ") " + (thread.IsIPv6() ? "IPv6" : "IPv4"));
  }
}

TPingStatistics TICMPMonitor::GetStatistics(const std::string& Host) {
  std::lock_guard<std::recursive_mutex> hold(FThreads.Lock);
  TMonitorThread* thread = FindThread(Host);
  if (!thread) return TPingStatistics{};
  std::lock_guard<std::mutex> stats(FCS);
  return thread->FStatistics;
}

void TICMPMonitor::GetAllTargets(std::vector<std::string>& Targets, bool IncludeNotes) {
  (void)IncludeNotes;  // the keys alone, either way
  std::lock_guard<std::recursive_mutex> hold(FThreads.Lock);
  Targets.clear();
  for (const auto& thread : FThreads.Items) Targets.push_back(thread->Host());
}

bool TICMPMonitor::IsValidIPv4Address(const std::string& IP) {
  in_addr address{};
  return !HasNul(IP) && inet_pton(AF_INET, IP.c_str(), &address) == 1;
}

bool TICMPMonitor::IsValidIPv6Address(const std::string& IP) {
  in6_addr address{};
  return !HasNul(IP) && inet_pton(AF_INET6, IP.c_str(), &address) == 1;
}

std::vector<TPingStatistics> TICMPMonitor::GetAllStatistics() {
  std::lock_guard<std::recursive_mutex> hold(FThreads.Lock);
  std::lock_guard<std::mutex> stats(FCS);
  std::vector<TPingStatistics> out;
  out.reserve(FThreads.Items.size());
  for (const auto& thread : FThreads.Items) out.push_back(thread->FStatistics);
  return out;
}

TMonitorThread* TICMPMonitor::FindThread(const std::string& Host) {
  std::lock_guard<std::recursive_mutex> hold(FThreads.Lock);
  for (const auto& thread : FThreads.Items) {
    if (SameHost(thread->Host(), Host)) return thread.get();
  }
  return nullptr;
}

std::vector<std::string> TICMPMonitor::ResolveHostNameEx(const std::string& HostName) {
  if (HasNul(HostName)) return {};
  if (IsValidIPv4Address(HostName) || IsValidIPv6Address(HostName)) return {HostName};

  return ResolveNumericAddresses(HostName);
}

void TICMPMonitor::EditTarget(const std::string& Host, const std::string& NewNote) {
  std::lock_guard<std::recursive_mutex> hold(FThreads.Lock);
  TMonitorThread* thread = FindThread(Host);
  if (!thread) throw std::runtime_error("目标主机不存在: " + Host);
  {
    std::lock_guard<std::mutex> stats(FCS);
    thread->FNote = NewNote;
    thread->FStatistics.note = NewNote;
    thread->FLatencyHistory.Clear();
  }
  DebugOutput("已更新目标备注 " + Host + " -> " + NewNote);
}

void TICMPMonitor::ResetStatistics(const std::string& Host) {
  std::lock_guard<std::recursive_mutex> hold(FThreads.Lock);
  TMonitorThread* thread = FindThread(Host);
  if (!thread) return;
  std::lock_guard<std::mutex> stats(FCS);
  ResetFigures(thread->FStatistics, thread->FLatencyHistory);
}

void TICMPMonitor::ResetAllStatistics() {
  std::lock_guard<std::recursive_mutex> hold(FThreads.Lock);
  std::lock_guard<std::mutex> stats(FCS);
  for (const auto& thread : FThreads.Items)
    ResetFigures(thread->FStatistics, thread->FLatencyHistory);
}
