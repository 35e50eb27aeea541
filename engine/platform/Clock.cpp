#include "Clock.h"

#ifdef _WIN32
#include <windows.h>

uint64_t TickCount64() {
  return GetTickCount64();
}
#else
#include <chrono>

uint64_t TickCount64() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
#endif
