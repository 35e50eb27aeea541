#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The diagnostic output channel: lines for a debugger, never shown to the user. Each line is
// written whole; lines of different threads never interleave.
void DebugOutput(std::string_view line);

// Where lines go instead of the platform's channel; an empty sink restores it. Returns the
// previous sink. Meant for tests that read the lines.
using TDiagnosticSink = std::function<void(std::string_view line)>;
TDiagnosticSink SetDiagnosticSink(TDiagnosticSink sink);

// Upper-case hexadecimal without leading zeros, as the %x of the diagnostic patterns.
std::string HexUpper(uint32_t value);
