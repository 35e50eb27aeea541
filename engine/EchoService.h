#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

// The operating system's ICMP echo service, shaped after the Windows ICMP API so that either a
// socket implementation or one over iphlpapi.dll can stand behind it.

// Status numbers of a reply, and error numbers when no reply came: the Windows IP_STATUS values,
// so diagnostics read the same on every platform.
namespace IpStatus {
constexpr uint32_t Success = 0;
constexpr uint32_t BufferTooSmall = 11001;
constexpr uint32_t DestNetUnreachable = 11002;
constexpr uint32_t DestHostUnreachable = 11003;
constexpr uint32_t DestProtocolUnreachable = 11004;
constexpr uint32_t DestPortUnreachable = 11005;
constexpr uint32_t NoResources = 11006;
constexpr uint32_t BadOption = 11007;
constexpr uint32_t HardwareError = 11008;
constexpr uint32_t PacketTooBig = 11009;
constexpr uint32_t RequestTimedOut = 11010;
constexpr uint32_t BadRequest = 11011;
constexpr uint32_t BadRoute = 11012;
constexpr uint32_t TtlExpiredTransit = 11013;
constexpr uint32_t TtlExpiredReassembly = 11014;
constexpr uint32_t ParameterProblem = 11015;
constexpr uint32_t SourceQuench = 11016;
constexpr uint32_t BadDestination = 11018;
constexpr uint32_t GeneralFailure = 11050;
}  // namespace IpStatus

// What one echo call gives back, as the Windows calls do: the number of replies written, the
// status and round-trip time of the first reply, and the last error when no reply was written.
struct TEchoReply {
  uint32_t ReplyCount = 0;
  uint32_t Status = 0;
  uint32_t RoundTripTime = 0;  // whole milliseconds
  uint32_t LastError = 0;
};

using TIPv4Address = uint32_t;  // network byte order
using TIPv6Address = std::array<uint8_t, 16>;

// An open echo handle of one address family, good for one probe at a time.
class TEchoHandle {
 public:
  virtual ~TEchoHandle() = default;
  // Sends one request with `payload` and waits at most `timeoutMs` for its reply.
  virtual TEchoReply SendEcho4(TIPv4Address destination, std::span<const uint8_t> payload,
                               uint32_t timeoutMs) = 0;
  // The IPv6 request goes out from the unspecified source: the system picks it.
  virtual TEchoReply SendEcho6(const TIPv6Address& destination, std::span<const uint8_t> payload,
                               uint32_t timeoutMs) = 0;
};

class TEchoService {
 public:
  virtual ~TEchoService() = default;
  // Opens a handle for IPv4 or IPv6. Returns null and sets `error` when it cannot be opened.
  // Throws when the mechanism itself is unavailable.
  virtual std::unique_ptr<TEchoHandle> Open(bool ipv6, uint32_t& error) = 0;
  // The system's text for an error or status number of this mechanism.
  virtual std::string ErrorText(uint32_t error) const = 0;
};

// A new handle on the platform's echo service; each monitor takes one, and its probes share what
// the service keeps open.
std::shared_ptr<TEchoService> PlatformEchoService();
