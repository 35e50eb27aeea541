#include "PacketCapture.h"

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace {

constexpr uint8_t kEchoRequest4 = 8, kEchoReply4 = 0;
constexpr uint8_t kEchoRequest6 = 128, kEchoReply6 = 129;

int64_t Nanoseconds(const timespec& t) {
  return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// Packet timestamps are on the real-time clock; the offset to the monotonic clock is taken at
// reading time, which is within milliseconds of the packet and so of the same clock setting.
int64_t RealToMonotonic(int64_t real) {
  timespec r{}, m{};
  ::clock_gettime(CLOCK_REALTIME, &r);
  ::clock_gettime(CLOCK_MONOTONIC, &m);
  return real - (Nanoseconds(r) - Nanoseconds(m));
}

struct Echo {
  bool request = false;
  const uint8_t* remote = nullptr;  // destination of a request, source of a reply
  int family = 0;
  uint16_t identifier = 0, sequence = 0;
};

bool ParseEcho(const uint8_t* p, std::size_t size, Echo& echo) {
  if (size < 1) return false;
  const uint8_t* icmp;
  uint8_t request, reply;
  if ((p[0] >> 4) == 4) {
    const std::size_t header = static_cast<std::size_t>(p[0] & 0x0F) * 4;
    if (size < header + 8 || p[9] != IPPROTO_ICMP) return false;
    icmp = p + header;
    request = kEchoRequest4;
    reply = kEchoReply4;
    echo.family = AF_INET;
    echo.remote = icmp[0] == request ? p + 16 : p + 12;
  } else if ((p[0] >> 4) == 6) {
    // The engine and the anchors send no extension headers.
    if (size < 48 || p[6] != IPPROTO_ICMPV6) return false;
    icmp = p + 40;
    request = kEchoRequest6;
    reply = kEchoReply6;
    echo.family = AF_INET6;
    echo.remote = icmp[0] == request ? p + 24 : p + 8;
  } else {
    return false;
  }
  if (icmp[0] != request && icmp[0] != reply) return false;
  echo.request = icmp[0] == request;
  echo.identifier = static_cast<uint16_t>(icmp[4] << 8 | icmp[5]);
  echo.sequence = static_cast<uint16_t>(icmp[6] << 8 | icmp[7]);
  return true;
}

}  // namespace

TPacketCapture::TPacketCapture(const std::string& device)
    : socket_(::socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(ETH_P_ALL))) {
  if (!socket_) throw std::runtime_error(std::string("packet socket: ") + std::strerror(errno));
  const int on = 1;
  if (::setsockopt(socket_.get(), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0) {
    throw std::runtime_error(std::string("SO_TIMESTAMPNS: ") + std::strerror(errno));
  }
  // Room for a whole burst of a thousand targets between two reads.
  const int buffer = 8 << 20;
  ::setsockopt(socket_.get(), SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer);
  if (device.empty()) return;
  sockaddr_ll where{};
  where.sll_family = AF_PACKET;
  where.sll_protocol = htons(ETH_P_ALL);
  where.sll_ifindex = static_cast<int>(::if_nametoindex(device.c_str()));
  if (where.sll_ifindex == 0 ||
      ::bind(socket_.get(), reinterpret_cast<sockaddr*>(&where), sizeof where) != 0) {
    throw std::runtime_error("binding the capture to " + device + ": " + std::strerror(errno));
  }
}

void WritePacket(std::FILE* out, const TEchoPacket& packet) {
  std::fprintf(out, "%lld %c %s %u %u\n", static_cast<long long>(packet.at),
               packet.request ? 'q' : 'r', packet.remote.c_str(), packet.identifier,
               packet.sequence);
}

void TPacketCapture::Drain(const std::function<void(const TEchoPacket&)>& take) {
  for (;;) {
    uint8_t packet[256];  // headers are all we read
    alignas(cmsghdr) uint8_t control[256];
    iovec io{packet, sizeof packet};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(socket_.get(), &message, MSG_TRUNC);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN) std::perror("capture");
      return;
    }
    int64_t real = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
      if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
        timespec stamp;
        std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
        real = Nanoseconds(stamp);
      }
    }
    Echo echo;
    const std::size_t size = std::min(static_cast<std::size_t>(n), sizeof packet);
    if (real == 0 || !ParseEcho(packet, size, echo)) continue;
    char address[INET6_ADDRSTRLEN];
    ::inet_ntop(echo.family, echo.remote, address, sizeof address);
    take({RealToMonotonic(real), echo.request, address, echo.identifier, echo.sequence});
  }
}
