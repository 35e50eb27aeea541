// The echo service on ICMP sockets: an unprivileged datagram socket per probe (kept for later
// probes) where ping_group_range allows it, else one raw socket per address family shared by
// every probe of a monitor (which needs CAP_NET_RAW).

// linux/errqueue.h needs timespec first.
// clang-format off
#include <time.h>
#include <linux/errqueue.h>
// clang-format on
#include <linux/icmp.h>
#include <linux/icmpv6.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include "EchoService.h"
#include "UniqueFd.h"
#include "IcmpMessages.h"

namespace {

using Clock = std::chrono::steady_clock;

// When a request left and its answer arrived. The kernel stamps each received packet, so a busy
// machine that is slow to wake the probe does not lengthen the round trip; the monotonic clock
// is the fallback when no stamp came or the wall clock was stepped meanwhile.
class RoundTrip {
 public:
  void Sent() {
    ::clock_gettime(CLOCK_REALTIME, &sentWall_);
    sentSteady_ = Clock::now();
  }
  Clock::time_point SentAt() const { return sentSteady_; }
  uint32_t Milliseconds(const std::optional<timespec>& arrived) const {
    const auto steady =
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - sentSteady_);
    if (arrived) {
      const int64_t wall = (arrived->tv_sec - sentWall_.tv_sec) * 1000000000LL +
                           (arrived->tv_nsec - sentWall_.tv_nsec);
      if (wall >= 0 && wall <= steady.count()) return static_cast<uint32_t>(wall / 1000000);
    }
    return static_cast<uint32_t>(steady.count() / 1000000);
  }

 private:
  timespec sentWall_{};
  Clock::time_point sentSteady_;
};

void SetOption(int fd, int level, int name) {
  const int on = 1;
  ::setsockopt(fd, level, name, &on, sizeof on);
}

// Reads one packet with its kernel time stamp; -1 when there is none (EAGAIN) or on error.
ssize_t ReceiveStamped(int fd, uint8_t* buffer, std::size_t size, sockaddr_storage& from,
                       std::optional<timespec>& arrived) {
  alignas(cmsghdr) uint8_t control[128];
  iovec io{buffer, size};
  msghdr message{};
  message.msg_name = &from;
  message.msg_namelen = sizeof from;
  message.msg_iov = &io;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  const ssize_t n = ::recvmsg(fd, &message, MSG_DONTWAIT);
  arrived.reset();
  if (n < 0) return n;
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
      timespec at;
      std::memcpy(&at, CMSG_DATA(c), sizeof at);
      arrived = at;
    }
  }
  return n;
}

timespec TimeLeft(Clock::time_point deadline) {
  const Clock::time_point now = Clock::now();
  const auto left = deadline > now ? deadline - now : Clock::duration::zero();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
  return {static_cast<time_t>(seconds.count()),
          static_cast<long>(std::chrono::nanoseconds(left - seconds).count())};
}

icmp::ProbeKey KeyFor(bool ipv6, const uint8_t* address, std::size_t size) {
  icmp::ProbeKey key;
  key.ipv6 = ipv6;
  std::memcpy(key.destination.data(), address, size);
  icmp::AssignProbeId(key);
  return key;
}

sockaddr_storage SocketAddress(const icmp::ProbeKey& key, socklen_t& length) {
  sockaddr_storage to{};
  if (key.ipv6) {
    auto& a = reinterpret_cast<sockaddr_in6&>(to);
    a.sin6_family = AF_INET6;
    std::memcpy(&a.sin6_addr, key.destination.data(), 16);
    length = sizeof(sockaddr_in6);
  } else {
    auto& a = reinterpret_cast<sockaddr_in&>(to);
    a.sin_family = AF_INET;
    std::memcpy(&a.sin_addr, key.destination.data(), 4);
    length = sizeof(sockaddr_in);
  }
  return to;
}

TEchoReply Answered(const icmp::Event& event, uint32_t roundTripMs) {
  TEchoReply reply;
  reply.ReplyCount = 1;
  reply.Status = event.verdict == icmp::Verdict::Answered ? IpStatus::Success : event.status;
  reply.RoundTripTime = roundTripMs;
  return reply;
}

TEchoReply NoReply(uint32_t error) {
  TEchoReply reply;
  reply.LastError = error;
  return reply;
}

// Sends on `fd`, retrying when interrupted; the local error's status, or 0 when it went out.
uint32_t Send(int fd, const std::vector<uint8_t>& request, const icmp::ProbeKey& key) {
  socklen_t length = 0;
  const sockaddr_storage to = SocketAddress(key, length);
  ssize_t sent;
  do {
    sent = ::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                    length);
  } while (sent < 0 && errno == EINTR);
  return sent < 0 ? icmp::StatusOfSendErrno(errno) : 0;
}

// ---------------------------------------------------------------------------------------------
// A datagram socket of its own per probe: the kernel hands it the replies to its identifier only.

// Datagram sockets kept between probes, by family. Making a socket and freeing it cost more than
// the probe itself; a kept one is as good as new once what came for an earlier probe is gone: a
// late reply, an ICMP error, and the pending error that would fail the next send.
class DatagramSocketPool {
 public:
  // A socket ready for a probe, or an empty one with errno set.
  UniqueFd Take(bool ipv6) {
    UniqueFd kept;
    {
      std::lock_guard<std::mutex> hold(lock_);
      std::vector<UniqueFd>& idle = idle_[ipv6 ? 1 : 0];
      if (!idle.empty()) {
        kept = std::move(idle.back());
        idle.pop_back();
      }
    }
    if (kept) {
      Clear(kept.get());
      return kept;
    }
    UniqueFd fd(::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_CLOEXEC,
                         ipv6 ? IPPROTO_ICMPV6 : IPPROTO_ICMP));
    if (fd) {
      SetOption(fd.get(), ipv6 ? SOL_IPV6 : SOL_IP, ipv6 ? IPV6_RECVERR : IP_RECVERR);
      SetOption(fd.get(), SOL_SOCKET, SO_TIMESTAMPNS);
    }
    return fd;
  }

  void Give(bool ipv6, UniqueFd fd) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      std::vector<UniqueFd>& idle = idle_[ipv6 ? 1 : 0];
      // Enough for the probes of a busy moment; a burst's leftovers go back to the system, since
      // each kept socket also holds one of the family's identifiers.
      if (idle.size() < kMaxIdle) {
        idle.push_back(std::move(fd));
        return;
      }
    }
    // A leftover closes here, outside the lock the other probes take.
  }

 private:
  static constexpr std::size_t kMaxIdle = 64;

  static void Clear(int fd) {
    pollfd watch{fd, POLLIN, 0};
    if (::poll(&watch, 1, 0) <= 0) return;
    uint8_t data[1500];
    if (watch.revents & POLLERR) {
      while (::recv(fd, data, sizeof data, MSG_ERRQUEUE | MSG_DONTWAIT) >= 0) {
      }
      int pending = 0;
      socklen_t length = sizeof pending;
      ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &length);
    }
    if (watch.revents & POLLIN) {
      while (::recv(fd, data, sizeof data, MSG_DONTWAIT) >= 0) {
      }
    }
  }

  std::mutex lock_;
  std::vector<UniqueFd> idle_[2];
};

class DatagramEchoHandle final : public TEchoHandle {
 public:
  DatagramEchoHandle(UniqueFd fd, bool ipv6, std::shared_ptr<DatagramSocketPool> pool)
      : fd_(std::move(fd)), ipv6_(ipv6), pool_(std::move(pool)) {}
  ~DatagramEchoHandle() override { pool_->Give(ipv6_, std::move(fd_)); }
  DatagramEchoHandle(const DatagramEchoHandle&) = delete;
  DatagramEchoHandle& operator=(const DatagramEchoHandle&) = delete;

  TEchoReply SendEcho4(TIPv4Address destination, std::span<const uint8_t> payload,
                       uint32_t timeoutMs) override {
    return Exchange(KeyFor(false, reinterpret_cast<const uint8_t*>(&destination), 4), payload,
                    timeoutMs);
  }
  TEchoReply SendEcho6(const TIPv6Address& destination, std::span<const uint8_t> payload,
                       uint32_t timeoutMs) override {
    return Exchange(KeyFor(true, destination.data(), 16), payload, timeoutMs);
  }

 private:
  TEchoReply Exchange(const icmp::ProbeKey& key, std::span<const uint8_t> payload,
                      uint32_t timeoutMs);
  std::optional<uint32_t> ReadErrorQueue(const icmp::ProbeKey& key) const;

  UniqueFd fd_;
  bool ipv6_;
  std::shared_ptr<DatagramSocketPool> pool_;
};

TEchoReply DatagramEchoHandle::Exchange(const icmp::ProbeKey& key, std::span<const uint8_t> payload,
                                        uint32_t timeoutMs) {
  const std::vector<uint8_t> request = icmp::EchoRequest(key, payload);
  RoundTrip trip;
  trip.Sent();
  const Clock::time_point deadline = trip.SentAt() + std::chrono::milliseconds(timeoutMs);
  if (const uint32_t failed = Send(fd_.get(), request, key)) return NoReply(failed);

  uint8_t buffer[1500];
  for (;;) {
    const timespec wait = TimeLeft(deadline);
    pollfd watch{fd_.get(), POLLIN, 0};
    const int ready = ::ppoll(&watch, 1, &wait, nullptr);
    if (ready < 0 && errno != EINTR) return NoReply(IpStatus::GeneralFailure);
    if (ready > 0 && (watch.revents & POLLERR)) {
      if (const std::optional<uint32_t> status = ReadErrorQueue(key)) {
        icmp::Event failed;
        failed.verdict = icmp::Verdict::Failed;
        failed.status = *status;
        return Answered(failed, trip.Milliseconds(std::nullopt));
      }
    }
    while (ready > 0 && (watch.revents & POLLIN)) {
      sockaddr_storage from{};
      std::optional<timespec> arrived;
      const ssize_t n = ReceiveStamped(fd_.get(), buffer, sizeof buffer, from, arrived);
      if (n < 0) break;  // drained, or an error that the error queue reports
      const icmp::Event event =
          icmp::Parse(buffer, static_cast<std::size_t>(n), ipv6_, false, from);
      if (event.verdict == icmp::Verdict::Answered && icmp::Matches(event, key, false)) {
        return Answered(event, trip.Milliseconds(arrived));
      }
    }
    if (Clock::now() >= deadline) return NoReply(IpStatus::RequestTimedOut);
  }
}

// A datagram socket's ICMP errors wait in its error queue, each with our request as it was sent.
std::optional<uint32_t> DatagramEchoHandle::ReadErrorQueue(const icmp::ProbeKey& key) const {
  std::optional<uint32_t> status;
  for (;;) {
    uint8_t data[1500];
    alignas(cmsghdr) uint8_t control[512];
    iovec io{data, sizeof data};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(fd_.get(), &message, MSG_ERRQUEUE | MSG_DONTWAIT);
    if (n < 0) return status;
    if (static_cast<std::size_t>(n) >= icmp::kHeaderSize &&
        static_cast<uint16_t>(data[6] << 8 | data[7]) != key.sequence) {
      continue;
    }
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
      const bool isError = (c->cmsg_level == SOL_IP && c->cmsg_type == IP_RECVERR) ||
                           (c->cmsg_level == SOL_IPV6 && c->cmsg_type == IPV6_RECVERR);
      if (!isError) continue;
      sock_extended_err error;
      std::memcpy(&error, CMSG_DATA(c), sizeof error);
      if (error.ee_origin == SO_EE_ORIGIN_ICMP || error.ee_origin == SO_EE_ORIGIN_ICMP6) {
        status = icmp::StatusOfError(error.ee_origin == SO_EE_ORIGIN_ICMP6, error.ee_type,
                                     error.ee_code);
      } else {
        status = icmp::StatusOfSendErrno(static_cast<int>(error.ee_errno));
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// One raw socket per family for all probes of a monitor. A raw socket receives a copy of every ICMP
// packet of the host, so one receiver reads them all and wakes only the probe each is for,
// instead of every probe reading every packet.

class RawEchoDispatcher {
 public:
  // Null with `error` set when the socket or the receiver cannot be had.
  static std::shared_ptr<RawEchoDispatcher> Make(bool ipv6, uint32_t& error);

  RawEchoDispatcher(bool ipv6, UniqueFd fd, UniqueFd wake);
  ~RawEchoDispatcher();
  RawEchoDispatcher(const RawEchoDispatcher&) = delete;
  RawEchoDispatcher& operator=(const RawEchoDispatcher&) = delete;

  TEchoReply Exchange(const icmp::ProbeKey& key, std::span<const uint8_t> payload,
                      uint32_t timeoutMs);

 private:
  struct Waiter {
    const icmp::ProbeKey* key;
    bool done = false;
    icmp::Event event;
    std::optional<timespec> arrived;
    std::condition_variable finished;
  };
  static uint32_t MapKey(uint16_t identifier, uint16_t sequence) {
    return static_cast<uint32_t>(identifier) << 16 | sequence;
  }
  void Receive();
  void Deliver(const icmp::Event& event, const std::optional<timespec>& arrived);

  const bool ipv6_;
  UniqueFd fd_;
  UniqueFd wake_;  // an eventfd that ends the receiver
  std::mutex lock_;
  std::unordered_map<uint32_t, Waiter*> waiters_;
  std::thread receiver_;
};

int OpenRawSocket(bool ipv6) {
  const int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_RAW | SOCK_CLOEXEC,
                          ipv6 ? IPPROTO_ICMPV6 : IPPROTO_ICMP);
  if (fd < 0) return -1;
  // Only echo replies and errors are of interest.
  if (ipv6) {
    icmp6_filter filter;
    std::memset(&filter, 0xFF, sizeof filter);  // block all ...
    for (const uint8_t type : {uint8_t{1}, uint8_t{2}, uint8_t{3}, uint8_t{4}, uint8_t{129}}) {
      filter.data[type >> 5] &= ~(1u << (type & 31));  // ... but these
    }
    ::setsockopt(fd, IPPROTO_ICMPV6, ICMPV6_FILTER, &filter, sizeof filter);
  } else {
    icmp_filter filter;
    filter.data =
        ~((1u << ICMP_ECHOREPLY) | (1u << ICMP_DEST_UNREACH) | (1u << ICMP_SOURCE_QUENCH) |
          (1u << ICMP_TIME_EXCEEDED) | (1u << ICMP_PARAMETERPROB));
    ::setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
  }
  SetOption(fd, SOL_SOCKET, SO_TIMESTAMPNS);
  // Room for the replies of a thousand probes that arrive together.
  const int buffer = 4 << 20;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
  return fd;
}

std::shared_ptr<RawEchoDispatcher> RawEchoDispatcher::Make(bool ipv6, uint32_t& error) {
  UniqueFd fd(OpenRawSocket(ipv6));
  if (!fd) {
    error = static_cast<uint32_t>(errno);
    return nullptr;
  }
  UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!wake) {
    error = static_cast<uint32_t>(errno);
    return nullptr;
  }
  try {
    return std::make_shared<RawEchoDispatcher>(ipv6, std::move(fd), std::move(wake));
  } catch (const std::system_error& e) {  // no thread for the receiver
    error = static_cast<uint32_t>(e.code().value());
    return nullptr;
  }
}

RawEchoDispatcher::RawEchoDispatcher(bool ipv6, UniqueFd fd, UniqueFd wake)
    : ipv6_(ipv6), fd_(std::move(fd)), wake_(std::move(wake)), receiver_(&RawEchoDispatcher::Receive, this) {}

RawEchoDispatcher::~RawEchoDispatcher() {
  const uint64_t one = 1;
  if (::write(wake_.get(), &one, sizeof one) < 0) {
    // The receiver is left to the end of the process.
    receiver_.detach();
    return;
  }
  receiver_.join();
}

void RawEchoDispatcher::Receive() {
  uint8_t buffer[1500];
  pollfd watch[2] = {{fd_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
  for (;;) {
    if (::poll(watch, 2, -1) < 0 && errno != EINTR) return;
    if (watch[1].revents) return;
    for (;;) {
      sockaddr_storage from{};
      std::optional<timespec> arrived;
      const ssize_t n = ReceiveStamped(fd_.get(), buffer, sizeof buffer, from, arrived);
      if (n < 0) break;
      const icmp::Event event =
          icmp::Parse(buffer, static_cast<std::size_t>(n), ipv6_, !ipv6_, from);
      if (event.verdict != icmp::Verdict::Foreign) Deliver(event, arrived);
    }
  }
}

void RawEchoDispatcher::Deliver(const icmp::Event& event, const std::optional<timespec>& arrived) {
  std::lock_guard<std::mutex> hold(lock_);
  const auto found = waiters_.find(MapKey(event.identifier, event.sequence));
  if (found == waiters_.end()) return;  // someone else's, or too late
  Waiter& waiter = *found->second;
  if (waiter.done || !icmp::Matches(event, *waiter.key, true)) return;
  waiter.event = event;
  waiter.arrived = arrived;
  waiter.done = true;
  waiter.finished.notify_one();
}

TEchoReply RawEchoDispatcher::Exchange(const icmp::ProbeKey& key, std::span<const uint8_t> payload,
                                       uint32_t timeoutMs) {
  const std::vector<uint8_t> request = icmp::EchoRequest(key, payload);
  Waiter waiter;
  waiter.key = &key;
  const uint32_t mapKey = MapKey(key.identifier, key.sequence);
  std::unique_lock<std::mutex> hold(lock_);
  waiters_[mapKey] = &waiter;  // before sending: a quick answer must find us
  hold.unlock();

  RoundTrip trip;
  trip.Sent();
  const uint32_t failed = Send(fd_.get(), request, key);
  hold.lock();
  if (!failed) {
    waiter.finished.wait_until(hold, trip.SentAt() + std::chrono::milliseconds(timeoutMs),
                               [&] { return waiter.done; });
  }
  waiters_.erase(mapKey);
  if (failed) return NoReply(failed);
  if (!waiter.done) return NoReply(IpStatus::RequestTimedOut);
  return Answered(waiter.event, trip.Milliseconds(waiter.arrived));
}

class RawEchoHandle final : public TEchoHandle {
 public:
  explicit RawEchoHandle(std::shared_ptr<RawEchoDispatcher> dispatcher)
      : dispatcher_(std::move(dispatcher)) {}

  TEchoReply SendEcho4(TIPv4Address destination, std::span<const uint8_t> payload,
                       uint32_t timeoutMs) override {
    const icmp::ProbeKey key = KeyFor(false, reinterpret_cast<const uint8_t*>(&destination), 4);
    return dispatcher_->Exchange(key, payload, timeoutMs);
  }
  TEchoReply SendEcho6(const TIPv6Address& destination, std::span<const uint8_t> payload,
                       uint32_t timeoutMs) override {
    const icmp::ProbeKey key = KeyFor(true, destination.data(), 16);
    return dispatcher_->Exchange(key, payload, timeoutMs);
  }

 private:
  std::shared_ptr<RawEchoDispatcher> dispatcher_;
};

// Datagram sockets are refused with these when ping_group_range leaves the user out.
bool NotPermitted(int error) {
  return error == EACCES || error == EPERM || error == EPROTONOSUPPORT || error == EAFNOSUPPORT;
}

const char* IpStatusText(uint32_t status) {
  switch (status) {
    case IpStatus::BufferTooSmall:
      return "The reply buffer was too small.";
    case IpStatus::DestNetUnreachable:
      return "The destination network was unreachable.";
    case IpStatus::DestHostUnreachable:
      return "The destination host was unreachable.";
    case IpStatus::DestProtocolUnreachable:
      return "The destination protocol was unreachable.";
    case IpStatus::DestPortUnreachable:
      return "The destination port was unreachable.";
    case IpStatus::NoResources:
      return "Insufficient IP resources were available.";
    case IpStatus::BadOption:
      return "A bad IP option was specified.";
    case IpStatus::HardwareError:
      return "A hardware error occurred.";
    case IpStatus::PacketTooBig:
      return "The packet was too big.";
    case IpStatus::RequestTimedOut:
      return "The request timed out.";
    case IpStatus::BadRequest:
      return "A bad request.";
    case IpStatus::BadRoute:
      return "A bad route.";
    case IpStatus::TtlExpiredTransit:
      return "The time to live (TTL) expired in transit.";
    case IpStatus::TtlExpiredReassembly:
      return "The time to live expired during fragment reassembly.";
    case IpStatus::ParameterProblem:
      return "A parameter problem.";
    case IpStatus::SourceQuench:
      return "Datagrams are arriving too fast to be processed.";
    case IpStatus::BadDestination:
      return "A bad destination.";
    case IpStatus::GeneralFailure:
      return "A general failure.";
    default:
      return nullptr;
  }
}

class SocketEchoService final : public TEchoService {
 public:
  // The family's shared raw socket, made when a probe first needs it; when it cannot be made
  // the next probe tries again.
  std::shared_ptr<RawEchoDispatcher> Dispatcher(bool ipv6, uint32_t& error) {
    std::lock_guard<std::mutex> hold(lock_);
    std::shared_ptr<RawEchoDispatcher>& dispatcher = dispatchers_[ipv6 ? 1 : 0];
    if (!dispatcher) dispatcher = RawEchoDispatcher::Make(ipv6, error);
    return dispatcher;
  }

  std::unique_ptr<TEchoHandle> Open(bool ipv6, uint32_t& error) override {
    if (UniqueFd fd = datagrams_->Take(ipv6)) {
      return std::make_unique<DatagramEchoHandle>(std::move(fd), ipv6, datagrams_);
    }
    if (!NotPermitted(errno)) {  // out of descriptors or memory: a raw socket is no way out
      error = static_cast<uint32_t>(errno);
      return nullptr;
    }
    std::shared_ptr<RawEchoDispatcher> dispatcher = Dispatcher(ipv6, error);
    if (!dispatcher) return nullptr;
    return std::make_unique<RawEchoHandle>(std::move(dispatcher));
  }

  std::string ErrorText(uint32_t error) const override {
    if (const char* text = IpStatusText(error)) return text;
    return std::strerror(static_cast<int>(error));
  }

 private:
  std::mutex lock_;
  std::shared_ptr<RawEchoDispatcher> dispatchers_[2];
  std::shared_ptr<DatagramSocketPool> datagrams_ = std::make_shared<DatagramSocketPool>();
};

}  // namespace

std::shared_ptr<TEchoService> PlatformEchoService() {
  return std::make_shared<SocketEchoService>();
}
