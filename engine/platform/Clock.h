#pragma once

#include <chrono>
#include <cstdint>

// A monotonic millisecond tick count (GetTickCount64 on Windows).
uint64_t TickCount64();

// The moment the tick count reaches `tick`, for waiting on it: exactly the start of that
// millisecond where the tick count comes from the steady clock.
std::chrono::steady_clock::time_point TimeOfTick(uint64_t tick);
