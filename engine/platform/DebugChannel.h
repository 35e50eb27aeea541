#pragma once

#include <string_view>

// The platform's debugger output: standard error on Linux, OutputDebugStringW on Windows.
// Called with the channel lock held, one whole line at a time.
void WriteToDebugChannel(std::string_view line);
