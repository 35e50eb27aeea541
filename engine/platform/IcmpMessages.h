#pragma once

// ICMP and ICMPv6 messages as the socket echo service sends and reads them.

#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace icmp {

constexpr std::size_t kHeaderSize = 8;

// What a probe is waiting for: the reply to its request, or an error quoting it.
struct ProbeKey {
  bool ipv6 = false;
  uint16_t identifier = 0;  // ignored for datagram sockets, whose kernel owns the identifier
  uint16_t sequence = 0;
  std::array<uint8_t, 16> destination{};  // an IPv4 address in the first four bytes
};

// Identifier and sequence of a new probe: unique within the process for 2^32 probes, so replies
// of concurrent probes on a raw socket, which sees every ICMP packet, are never mistaken.
void AssignProbeId(ProbeKey& key);

std::vector<uint8_t> EchoRequest(const ProbeKey& key, std::span<const uint8_t> payload);

enum class Verdict { Foreign, Answered, Failed };

// One received packet, read as far as it concerns echo probes.
struct Event {
  Verdict verdict = Verdict::Foreign;
  uint32_t status = 0;  // for Failed: the IP_STATUS number
  uint16_t identifier = 0;
  uint16_t sequence = 0;
  std::array<uint8_t, 16> peer{};  // a reply's source, or the destination an error quotes
};

// `withIpHeader`: raw IPv4 sockets deliver the IP header in front of the message. Datagram
// sockets deliver only echo replies; their errors come through the error queue.
Event Parse(const uint8_t* packet, std::size_t size, bool ipv6, bool withIpHeader,
            const sockaddr_storage& from);

// Whether an event is the answer to the probe; `checkIdentifier` is false on datagram sockets.
bool Matches(const Event& event, const ProbeKey& key, bool checkIdentifier);

// The IP_STATUS number of an ICMP error, and of a local error of sendto().
uint32_t StatusOfError(bool ipv6, uint8_t type, uint8_t code);
uint32_t StatusOfSendErrno(int error);

}  // namespace icmp
