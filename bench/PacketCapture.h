#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "UniqueFd.h"

// Every echo request and reply that crosses the test host's device, with the kernel's timestamp
// of the crossing turned into CLOCK_MONOTONIC (std::chrono::steady_clock), the clock every
// process on the machine shares. The timestamps do not depend on when anyone reads them, so
// neither the test host's nor this reader's scheduling shows in them.
//
struct TEchoPacket {
  int64_t at = 0;  // steady_clock nanoseconds
  bool request = false;
  std::string remote;  // destination of a request, source of a reply
  uint16_t identifier = 0, sequence = 0;
};

class TPacketCapture {
 public:
  // Every device of the namespace when `device` is empty.
  explicit TPacketCapture(const std::string& device);
  int Fd() const { return socket_.get(); }
  // Hands over what is queued, without blocking.
  void Drain(const std::function<void(const TEchoPacket&)>& take);

 private:
  UniqueFd socket_;
};

// One line per packet: NANOSECONDS q|r ADDRESS IDENTIFIER SEQUENCE, q for a request and r for a
// reply.
void WritePacket(std::FILE* out, const TEchoPacket& packet);
