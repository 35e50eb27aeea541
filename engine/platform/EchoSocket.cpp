// The echo service on ICMP sockets: an unprivileged datagram socket where ping_group_range allows
// it, else a raw socket (which needs CAP_NET_RAW).

#include <fcntl.h>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <linux/icmpv6.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "EchoService.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kEchoRequest4 = 8, kEchoReply4 = 0;
constexpr uint8_t kEchoRequest6 = 128, kEchoReply6 = 129;
constexpr std::size_t kIcmpHeader = 8;

// An ICMP error turned into the status a reply of the Windows API would carry.
uint32_t StatusOfIcmp4Error(uint8_t type, uint8_t code) {
  switch (type) {
    case ICMP_DEST_UNREACH:
      switch (code) {
        case ICMP_NET_UNREACH:
        case ICMP_NET_UNKNOWN:
        case ICMP_NET_ANO:
        case ICMP_NET_UNR_TOS:
          return IpStatus::DestNetUnreachable;
        case ICMP_PROT_UNREACH:
          return IpStatus::DestProtocolUnreachable;
        case ICMP_PORT_UNREACH:
          return IpStatus::DestPortUnreachable;
        case ICMP_FRAG_NEEDED:
          return IpStatus::PacketTooBig;
        case ICMP_SR_FAILED:
          return IpStatus::BadRoute;
        default:
          return IpStatus::DestHostUnreachable;
      }
    case ICMP_SOURCE_QUENCH:
      return IpStatus::SourceQuench;
    case ICMP_TIME_EXCEEDED:
      return code == ICMP_EXC_FRAGTIME ? IpStatus::TtlExpiredReassembly
                                       : IpStatus::TtlExpiredTransit;
    case ICMP_PARAMETERPROB:
      return IpStatus::ParameterProblem;
    case ICMP_REDIRECT:
      return IpStatus::BadRoute;
    default:
      return IpStatus::GeneralFailure;
  }
}

uint32_t StatusOfIcmp6Error(uint8_t type, uint8_t code) {
  switch (type) {
    case ICMPV6_DEST_UNREACH:
      switch (code) {
        case ICMPV6_NOROUTE:
          return IpStatus::DestNetUnreachable;
        case ICMPV6_ADM_PROHIBITED:
          return IpStatus::DestProtocolUnreachable;  // IP_DEST_PROHIBITED shares this number
        case ICMPV6_PORT_UNREACH:
          return IpStatus::DestPortUnreachable;
        default:
          return IpStatus::DestHostUnreachable;
      }
    case ICMPV6_PKT_TOOBIG:
      return IpStatus::PacketTooBig;
    case ICMPV6_TIME_EXCEED:
      return code == ICMPV6_EXC_FRAGTIME ? IpStatus::TtlExpiredReassembly
                                         : IpStatus::TtlExpiredTransit;
    case ICMPV6_PARAMPROB:
      return IpStatus::ParameterProblem;
    default:
      return IpStatus::GeneralFailure;
  }
}

bool IsIcmp4Error(uint8_t type) {
  return type == ICMP_DEST_UNREACH || type == ICMP_SOURCE_QUENCH || type == ICMP_TIME_EXCEEDED ||
         type == ICMP_PARAMETERPROB;
}

bool IsIcmp6Error(uint8_t type) {
  return type >= 1 && type <= 4;
}

uint32_t StatusOfSendErrno(int error) {
  switch (error) {
    case ENETUNREACH:
      return IpStatus::DestNetUnreachable;
    case EHOSTUNREACH:
      return IpStatus::DestHostUnreachable;
    case EMSGSIZE:
      return IpStatus::PacketTooBig;
    case ENOBUFS:
    case ENOMEM:
      return IpStatus::NoResources;
    case EACCES:
    case EINVAL:
    case EADDRNOTAVAIL:
      return IpStatus::BadDestination;
    default:
      return IpStatus::GeneralFailure;
  }
}

uint16_t Checksum(const uint8_t* data, std::size_t size) {
  uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < size; i += 2)
    sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
  if (size & 1) sum += static_cast<uint32_t>(data[size - 1] << 8);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

uint16_t Read16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
void Write16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

// Identifier and sequence of a probe: unique within the process for 2^32 probes, so replies of
// concurrent probes on raw sockets, which see every ICMP packet, are never mistaken.
struct ProbeId {
  uint16_t identifier;
  uint16_t sequence;
};
ProbeId NextProbeId() {
  static std::atomic<uint32_t> counter{0};
  static const uint16_t base = static_cast<uint16_t>(::getpid());
  const uint32_t n = counter.fetch_add(1, std::memory_order_relaxed);
  return {static_cast<uint16_t>(base ^ (n >> 16)), static_cast<uint16_t>(n)};
}

class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// What one received packet says about the probe in flight.
enum class Verdict { Foreign, Answered, Failed };
struct Outcome {
  Verdict verdict = Verdict::Foreign;
  uint32_t status = 0;
};

class SocketEchoHandle final : public TEchoHandle {
 public:
  SocketEchoHandle(int fd, bool ipv6, bool raw) : fd_(fd), ipv6_(ipv6), raw_(raw) {}

  TEchoReply SendEcho4(TIPv4Address destination, std::span<const uint8_t> payload,
                       uint32_t timeoutMs) override {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = destination;
    dest4_ = destination;
    return Exchange(reinterpret_cast<const sockaddr*>(&to), sizeof to, payload, timeoutMs);
  }

  TEchoReply SendEcho6(const TIPv6Address& destination, std::span<const uint8_t> payload,
                       uint32_t timeoutMs) override {
    sockaddr_in6 to{};
    to.sin6_family = AF_INET6;
    std::memcpy(&to.sin6_addr, destination.data(), destination.size());
    dest6_ = destination;
    return Exchange(reinterpret_cast<const sockaddr*>(&to), sizeof to, payload, timeoutMs);
  }

 private:
  TEchoReply Exchange(const sockaddr* to, socklen_t toLength, std::span<const uint8_t> payload,
                      uint32_t timeoutMs);
  bool FromDestination(const sockaddr_storage& from) const;
  Outcome Examine(const uint8_t* packet, std::size_t size, const sockaddr_storage& from) const;
  Outcome ExamineEchoReply(const uint8_t* icmp, std::size_t size,
                           const sockaddr_storage& from) const;
  Outcome ExamineQuotedRequest(const uint8_t* quoted, std::size_t size, uint32_t status) const;
  Outcome ReadErrorQueue() const;

  UniqueFd fd_;
  bool ipv6_;
  bool raw_;
  ProbeId id_{};
  TIPv4Address dest4_ = 0;
  TIPv6Address dest6_{};
};

TEchoReply SocketEchoHandle::Exchange(const sockaddr* to, socklen_t toLength,
                                      std::span<const uint8_t> payload, uint32_t timeoutMs) {
  id_ = NextProbeId();
  std::vector<uint8_t> request(kIcmpHeader + payload.size(), 0);
  request[0] = ipv6_ ? kEchoRequest6 : kEchoRequest4;
  Write16(&request[4], id_.identifier);  // datagram sockets put their own identifier here
  Write16(&request[6], id_.sequence);
  std::memcpy(request.data() + kIcmpHeader, payload.data(), payload.size());
  if (!ipv6_) Write16(&request[2], Checksum(request.data(), request.size()));  // ICMPv6: kernel

  TEchoReply reply;
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline = start + std::chrono::milliseconds(timeoutMs);
  ssize_t sent;
  do {
    sent = ::sendto(fd_.get(), request.data(), request.size(), 0, to, toLength);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0) {
    reply.LastError = StatusOfSendErrno(errno);
    return reply;
  }

  uint8_t buffer[1500];
  for (;;) {
    const Clock::time_point now = Clock::now();
    const auto left = deadline > now ? deadline - now : Clock::duration::zero();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
    const timespec wait{static_cast<time_t>(seconds.count()),
                        static_cast<long>(std::chrono::nanoseconds(left - seconds).count())};
    pollfd watch{fd_.get(), POLLIN, 0};
    const int ready = ::ppoll(&watch, 1, &wait, nullptr);
    if (ready < 0 && errno != EINTR) {
      reply.LastError = IpStatus::GeneralFailure;
      return reply;
    }
    Outcome outcome;
    if (ready > 0 && (watch.revents & POLLERR)) outcome = ReadErrorQueue();
    while (outcome.verdict == Verdict::Foreign && ready > 0 && (watch.revents & POLLIN)) {
      sockaddr_storage from{};
      socklen_t fromLength = sizeof from;
      const ssize_t n = ::recvfrom(fd_.get(), buffer, sizeof buffer, MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&from), &fromLength);
      if (n < 0) break;  // drained (EAGAIN), or an error that the error queue reports
      outcome = Examine(buffer, static_cast<std::size_t>(n), from);
    }
    if (outcome.verdict != Verdict::Foreign) {
      const auto elapsed =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
      reply.ReplyCount = 1;
      reply.Status = outcome.verdict == Verdict::Answered ? IpStatus::Success : outcome.status;
      reply.RoundTripTime = static_cast<uint32_t>(elapsed.count());
      return reply;
    }
    if (Clock::now() >= deadline) {
      reply.LastError = IpStatus::RequestTimedOut;
      return reply;
    }
  }
}

bool SocketEchoHandle::FromDestination(const sockaddr_storage& from) const {
  if (ipv6_) {
    const auto& a = reinterpret_cast<const sockaddr_in6&>(from);
    return from.ss_family == AF_INET6 && std::memcmp(&a.sin6_addr, dest6_.data(), 16) == 0;
  }
  const auto& a = reinterpret_cast<const sockaddr_in&>(from);
  return from.ss_family == AF_INET && a.sin_addr.s_addr == dest4_;
}

Outcome SocketEchoHandle::Examine(const uint8_t* packet, std::size_t size,
                                  const sockaddr_storage& from) const {
  if (!ipv6_ && raw_) {
    // Raw IPv4 sockets deliver the IP header in front of the ICMP message.
    if (size < 20) return {};
    const std::size_t headerLength = static_cast<std::size_t>(packet[0] & 0x0F) * 4;
    if (headerLength < 20 || size < headerLength) return {};
    packet += headerLength;
    size -= headerLength;
  }
  if (size < kIcmpHeader) return {};
  const uint8_t type = packet[0];
  const uint8_t code = packet[1];
  if (type == (ipv6_ ? kEchoReply6 : kEchoReply4)) return ExamineEchoReply(packet, size, from);
  if (!raw_) return {};  // a datagram socket reports errors through its error queue
  if (ipv6_ ? IsIcmp6Error(type) : IsIcmp4Error(type)) {
    const uint32_t status = ipv6_ ? StatusOfIcmp6Error(type, code) : StatusOfIcmp4Error(type, code);
    return ExamineQuotedRequest(packet + kIcmpHeader, size - kIcmpHeader, status);
  }
  return {};
}

Outcome SocketEchoHandle::ExamineEchoReply(const uint8_t* icmp, std::size_t size,
                                           const sockaddr_storage& from) const {
  (void)size;
  if (!FromDestination(from)) return {};
  if (Read16(icmp + 6) != id_.sequence) return {};
  // The kernel matches a datagram socket's replies to its own identifier.
  if (raw_ && Read16(icmp + 4) != id_.identifier) return {};
  return {Verdict::Answered, 0};
}

// An ICMP error quotes the offending packet: its IP header and the start of our request.
Outcome SocketEchoHandle::ExamineQuotedRequest(const uint8_t* quoted, std::size_t size,
                                               uint32_t status) const {
  const uint8_t* request;
  if (ipv6_) {
    constexpr std::size_t kIPv6Header = 40;
    if (size < kIPv6Header + kIcmpHeader || quoted[6] != IPPROTO_ICMPV6) return {};
    if (std::memcmp(quoted + 24, dest6_.data(), 16) != 0) return {};
    request = quoted + kIPv6Header;
    if (request[0] != kEchoRequest6) return {};
  } else {
    if (size < 20) return {};
    const std::size_t headerLength = static_cast<std::size_t>(quoted[0] & 0x0F) * 4;
    if (headerLength < 20 || size < headerLength + kIcmpHeader || quoted[9] != IPPROTO_ICMP) {
      return {};
    }
    if (std::memcmp(quoted + 16, &dest4_, 4) != 0) return {};
    request = quoted + headerLength;
    if (request[0] != kEchoRequest4) return {};
  }
  if (Read16(request + 4) != id_.identifier || Read16(request + 6) != id_.sequence) return {};
  return {Verdict::Failed, status};
}

Outcome SocketEchoHandle::ReadErrorQueue() const {
  Outcome outcome;
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
    if (n < 0) return outcome;
    // The queued error carries our request as it was sent; its sequence tells whose it is.
    if (static_cast<std::size_t>(n) >= kIcmpHeader && Read16(data + 6) != id_.sequence) continue;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
      const bool isError = (c->cmsg_level == SOL_IP && c->cmsg_type == IP_RECVERR) ||
                           (c->cmsg_level == SOL_IPV6 && c->cmsg_type == IPV6_RECVERR);
      if (!isError) continue;
      sock_extended_err error;
      std::memcpy(&error, CMSG_DATA(c), sizeof error);
      if (error.ee_origin == SO_EE_ORIGIN_ICMP) {
        outcome = {Verdict::Failed, StatusOfIcmp4Error(error.ee_type, error.ee_code)};
      } else if (error.ee_origin == SO_EE_ORIGIN_ICMP6) {
        outcome = {Verdict::Failed, StatusOfIcmp6Error(error.ee_type, error.ee_code)};
      } else {
        outcome = {Verdict::Failed, StatusOfSendErrno(static_cast<int>(error.ee_errno))};
      }
    }
  }
}

int OpenSocket(bool ipv6, bool& raw) {
  const int family = ipv6 ? AF_INET6 : AF_INET;
  const int protocol = ipv6 ? IPPROTO_ICMPV6 : IPPROTO_ICMP;
  int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, protocol);
  raw = false;
  if (fd >= 0) {
    const int on = 1;
    ::setsockopt(fd, ipv6 ? SOL_IPV6 : SOL_IP, ipv6 ? IPV6_RECVERR : IP_RECVERR, &on, sizeof on);
    return fd;
  }
  fd = ::socket(family, SOCK_RAW | SOCK_CLOEXEC, protocol);
  if (fd < 0) return -1;
  raw = true;
  // Only echo replies and errors wake us; a raw socket sees every ICMP packet of the host.
  if (ipv6) {
    icmp6_filter filter;
    std::memset(&filter, 0xFF, sizeof filter);  // block all ...
    for (const uint8_t type : {uint8_t{1}, uint8_t{2}, uint8_t{3}, uint8_t{4}, kEchoReply6}) {
      filter.data[type >> 5] &= ~(1u << (type & 31));  // ... but these
    }
    ::setsockopt(fd, IPPROTO_ICMPV6, ICMPV6_FILTER, &filter, sizeof filter);
  } else {
    icmp_filter filter;
    filter.data = ~((1u << kEchoReply4) | (1u << ICMP_DEST_UNREACH) | (1u << ICMP_SOURCE_QUENCH) |
                    (1u << ICMP_TIME_EXCEEDED) | (1u << ICMP_PARAMETERPROB));
    ::setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
  }
  return fd;
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
  std::unique_ptr<TEchoHandle> Open(bool ipv6, uint32_t& error) override {
    bool raw = false;
    const int fd = OpenSocket(ipv6, raw);
    if (fd < 0) {
      error = static_cast<uint32_t>(errno);
      return nullptr;
    }
    return std::make_unique<SocketEchoHandle>(fd, ipv6, raw);
  }

  std::string ErrorText(uint32_t error) const override {
    if (const char* text = IpStatusText(error)) return text;
    return std::strerror(static_cast<int>(error));
  }
};

}  // namespace

std::shared_ptr<TEchoService> PlatformEchoService() {
  static const std::shared_ptr<TEchoService> service = std::make_shared<SocketEchoService>();
  return service;
}
