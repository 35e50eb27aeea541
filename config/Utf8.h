#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Length of the well-formed UTF-8 sequence that starts at `text[pos]`, or 0 when the bytes there
// are not one: truncated, overlong, a surrogate or beyond U+10FFFF.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t pos);

bool IsValidUtf8(std::string_view text);

// Appends `codePoint` (at most U+10FFFF, no surrogate) in UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);

inline constexpr char32_t kReplacementCharacter = 0xFFFD;
