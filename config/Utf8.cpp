#include "Utf8.h"

#include <cstdint>
#include <cstring>

namespace {

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

}  // namespace

std::size_t Utf8SequenceLength(std::string_view text, std::size_t pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
  const std::size_t left = text.size() - pos;
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  // The second byte's range excludes overlong forms, surrogates and code points past U+10FFFF.
  unsigned char low = 0x80, high = 0xBF;
  std::size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (left < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!IsContinuation(byte(i))) return 0;
  }
  return length;
}

bool IsValidUtf8(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    // Files are mostly ASCII: skip it eight bytes at a time.
    std::uint64_t word = 0;
    if (text.size() - pos >= sizeof word) {
      std::memcpy(&word, text.data() + pos, sizeof word);
      if ((word & 0x8080808080808080u) == 0) {
        pos += sizeof word;
        continue;
      }
    }
    if (static_cast<unsigned char>(text[pos]) < 0x80) {
      ++pos;
      continue;
    }
    const std::size_t length = Utf8SequenceLength(text, pos);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

void AppendUtf8(std::string& out, char32_t codePoint) {
  const auto put = [&](char32_t bits) { out.push_back(static_cast<char>(bits)); };
  if (codePoint < 0x80) {
    put(codePoint);
  } else if (codePoint < 0x800) {
    put(0xC0 | (codePoint >> 6));
    put(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    put(0xE0 | (codePoint >> 12));
    put(0x80 | ((codePoint >> 6) & 0x3F));
    put(0x80 | (codePoint & 0x3F));
  } else {
    put(0xF0 | (codePoint >> 18));
    put(0x80 | ((codePoint >> 12) & 0x3F));
    put(0x80 | ((codePoint >> 6) & 0x3F));
    put(0x80 | (codePoint & 0x3F));
  }
}
