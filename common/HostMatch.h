#pragma once

#include <string_view>

// Host keys and group names are compared with ASCII letters folded and nothing else: same length,
// same code units once a-z are mapped to A-Z. The rule reads the same for UTF-16 code units (the
// window's texts) and for UTF-8 bytes (the engine's and the file's), since no byte of a multi-byte
// UTF-8 sequence lies in 'a'..'z'.
template <typename CodeUnit>
constexpr CodeUnit FoldHostUnit(CodeUnit c) {
  return (c >= 'a' && c <= 'z') ? static_cast<CodeUnit>(c - 'a' + 'A') : c;
}

template <typename CodeUnit>
bool SameHost(std::basic_string_view<CodeUnit> a, std::basic_string_view<CodeUnit> b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldHostUnit(a[i]) != FoldHostUnit(b[i])) return false;
  }
  return true;
}

inline bool SameHost(std::string_view a, std::string_view b) {
  return SameHost<char>(a, b);
}
inline bool SameHost(std::u16string_view a, std::u16string_view b) {
  return SameHost<char16_t>(a, b);
}
