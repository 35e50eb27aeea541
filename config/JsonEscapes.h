#pragma once

#include <string_view>

// The one-letter escapes of JSON strings: kEscapeLetters[i] after a backslash stands for
// kEscapedCharacters[i]. The writer uses exactly these and no \u escapes.
inline constexpr std::string_view kEscapeLetters = "\"\\/bfnrt";
inline constexpr std::string_view kEscapedCharacters = "\"\\/\b\f\n\r\t";
