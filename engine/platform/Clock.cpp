#include "Clock.h"

#ifdef _WIN32
#include <windows.h>

uint64_t TickCount64() {
  return GetTickCount64();
}

std::chrono::steady_clock::time_point TimeOfTick(uint64_t tick) {
  const uint64_t now = TickCount64();
  const auto ahead = std::chrono::milliseconds(tick > now ? tick - now : 0);
  return std::chrono::steady_clock::now() + ahead;
}
#else
uint64_t TickCount64() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::chrono::steady_clock::time_point TimeOfTick(uint64_t tick) {
  return std::chrono::steady_clock::time_point(std::chrono::milliseconds(tick));
}
#endif
