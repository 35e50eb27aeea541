#include "IcmpMessages.h"

#include <linux/icmp.h>
#include <linux/icmpv6.h>
#include <netinet/in.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "EchoService.h"

namespace icmp {

namespace {

constexpr uint8_t kEchoRequest4 = 8, kEchoReply4 = 0;
constexpr uint8_t kEchoRequest6 = 128, kEchoReply6 = 129;

uint16_t Read16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
void Write16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

uint16_t Checksum(const uint8_t* data, std::size_t size) {
  uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < size; i += 2) sum += Read16(data + i);
  if (size & 1) sum += static_cast<uint32_t>(data[size - 1] << 8);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

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

bool IsError(bool ipv6, uint8_t type) {
  if (ipv6) return type >= 1 && type <= 4;
  return type == ICMP_DEST_UNREACH || type == ICMP_SOURCE_QUENCH || type == ICMP_TIME_EXCEEDED ||
         type == ICMP_PARAMETERPROB;
}

// An ICMP error quotes the offending packet: its IP header and the start of our request.
Event ParseQuotedRequest(const uint8_t* quoted, std::size_t size, bool ipv6, uint32_t status) {
  Event event;
  const uint8_t* request;
  if (ipv6) {
    constexpr std::size_t kIPv6Header = 40;
    if (size < kIPv6Header + kHeaderSize || quoted[6] != IPPROTO_ICMPV6) return {};
    std::memcpy(event.peer.data(), quoted + 24, 16);
    request = quoted + kIPv6Header;
    if (request[0] != kEchoRequest6) return {};
  } else {
    if (size < 20) return {};
    const std::size_t headerLength = static_cast<std::size_t>(quoted[0] & 0x0F) * 4;
    if (headerLength < 20 || size < headerLength + kHeaderSize || quoted[9] != IPPROTO_ICMP) {
      return {};
    }
    std::memcpy(event.peer.data(), quoted + 16, 4);
    request = quoted + headerLength;
    if (request[0] != kEchoRequest4) return {};
  }
  event.verdict = Verdict::Failed;
  event.status = status;
  event.identifier = Read16(request + 4);
  event.sequence = Read16(request + 6);
  return event;
}

}  // namespace

void AssignProbeId(ProbeKey& key) {
  static std::atomic<uint32_t> counter{0};
  static const uint16_t base = static_cast<uint16_t>(::getpid());
  const uint32_t n = counter.fetch_add(1, std::memory_order_relaxed);
  key.identifier = static_cast<uint16_t>(base ^ (n >> 16));
  key.sequence = static_cast<uint16_t>(n);
}

std::vector<uint8_t> EchoRequest(const ProbeKey& key, std::span<const uint8_t> payload) {
  std::vector<uint8_t> request(kHeaderSize + payload.size(), 0);
  request[0] = key.ipv6 ? kEchoRequest6 : kEchoRequest4;
  Write16(&request[4], key.identifier);  // a datagram socket puts its own identifier here
  Write16(&request[6], key.sequence);
  std::memcpy(request.data() + kHeaderSize, payload.data(), payload.size());
  // The kernel fills in the ICMPv6 checksum itself, and that of datagram sockets.
  if (!key.ipv6) Write16(&request[2], Checksum(request.data(), request.size()));
  return request;
}

Event Parse(const uint8_t* packet, std::size_t size, bool ipv6, bool withIpHeader,
            const sockaddr_storage& from) {
  if (withIpHeader) {
    if (size < 20) return {};
    const std::size_t headerLength = static_cast<std::size_t>(packet[0] & 0x0F) * 4;
    if (headerLength < 20 || size < headerLength) return {};
    packet += headerLength;
    size -= headerLength;
  }
  if (size < kHeaderSize) return {};
  const uint8_t type = packet[0];
  if (type == (ipv6 ? kEchoReply6 : kEchoReply4)) {
    Event event;
    if (ipv6) {
      if (from.ss_family != AF_INET6) return {};
      std::memcpy(event.peer.data(), &reinterpret_cast<const sockaddr_in6&>(from).sin6_addr, 16);
    } else {
      if (from.ss_family != AF_INET) return {};
      std::memcpy(event.peer.data(), &reinterpret_cast<const sockaddr_in&>(from).sin_addr, 4);
    }
    event.verdict = Verdict::Answered;
    event.identifier = Read16(packet + 4);
    event.sequence = Read16(packet + 6);
    return event;
  }
  if (IsError(ipv6, type)) {
    return ParseQuotedRequest(packet + kHeaderSize, size - kHeaderSize, ipv6,
                              StatusOfError(ipv6, type, packet[1]));
  }
  return {};
}

bool Matches(const Event& event, const ProbeKey& key, bool checkIdentifier) {
  if (event.verdict == Verdict::Foreign || event.sequence != key.sequence) return false;
  if (checkIdentifier && event.identifier != key.identifier) return false;
  return std::memcmp(event.peer.data(), key.destination.data(), key.ipv6 ? 16 : 4) == 0;
}

uint32_t StatusOfError(bool ipv6, uint8_t type, uint8_t code) {
  return ipv6 ? StatusOfIcmp6Error(type, code) : StatusOfIcmp4Error(type, code);
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

}  // namespace icmp
