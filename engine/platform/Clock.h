#pragma once

#include <cstdint>

// A monotonic millisecond tick count (GetTickCount64 on Windows).
uint64_t TickCount64();
