#pragma once

#include <functional>
#include <optional>
#include <string_view>

class TJsonValue;

// A strict JSON reader (RFC 8259) with the leniency our own writer needs: raw control
// characters are accepted inside strings. A \u escape of a lone surrogate decodes to U+FFFD.
// The text must be valid UTF-8 without a byte-order mark; the caller checks that first.
// Nesting deeper than kMaxJsonDepth counts as a syntax error, so no input can exhaust the stack.

inline constexpr int kMaxJsonDepth = 512;

// The value of `text`, or nothing when `text` is not exactly one JSON value (surrounding white
// space allowed).
std::optional<TJsonValue> ParseJson(std::string_view text);

enum class TJsonArrayRead { NotJson, NotArray, Array };

// Reads `text` as ParseJson does, handing each object element of a top-level array to
// `onObject` as soon as it is read; other elements are checked but never built, so memory stays
// bounded by the largest object. `onObject` may already have run when the text turns out not to
// be JSON; the caller must then discard what it collected.
TJsonArrayRead ReadJsonArrayObjects(std::string_view text,
                                    const std::function<void(const TJsonValue&)>& onObject);
