#include "Diagnostics.h"

#include <mutex>

#include "platform/DebugChannel.h"

namespace {
std::mutex& ChannelLock() {
  static std::mutex lock;
  return lock;
}
TDiagnosticSink& Sink() {
  static TDiagnosticSink sink;
  return sink;
}
}  // namespace

void DebugOutput(std::string_view line) {
  std::lock_guard<std::mutex> hold(ChannelLock());
  if (Sink()) {
    Sink()(line);
  } else {
    WriteToDebugChannel(line);
  }
}

TDiagnosticSink SetDiagnosticSink(TDiagnosticSink sink) {
  std::lock_guard<std::mutex> hold(ChannelLock());
  std::swap(Sink(), sink);
  return sink;
}

std::string HexUpper(uint32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return out;
}
