#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Windows only: the program keeps its texts and paths in UTF-8, the system's W functions take
// UTF-16. Bytes that are not UTF-8 become U+FFFD, and unpaired surrogates likewise on the way back.
std::wstring WidenUtf8(std::string_view text);
std::string NarrowToUtf8(std::wstring_view text);

// The system's text for an error code (FormatMessageW), in UTF-8 and in the user's language, with
// the trailing line break and full stop removed; empty when the system has none.
std::string SystemErrorText(uint32_t error);
