#include "JsonReader.h"

#include <functional>
#include <string>

#include "JsonEscapes.h"
#include "JsonValue.h"
#include "Utf8.h"

namespace {

bool IsHighSurrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Recursive descent over one text. Every Parse function returns false on a syntax error and,
// given a null `out`, only checks the syntax without building anything.
class TJsonParser {
 public:
  explicit TJsonParser(std::string_view text) : FText(text) {}

  bool ParseValue(TJsonValue* out, int depth);
  bool ParseArrayElements(const std::function<bool()>& parseElement);

  void SkipWhitespace() {
    while (FPos < FText.size()) {
      const char c = FText[FPos];
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return;
      ++FPos;
    }
  }
  bool AtEnd() const { return FPos == FText.size(); }
  char Peek() const { return AtEnd() ? '\0' : FText[FPos]; }
  // Consumes `c` when it is next.
  bool Take(char c) {
    if (AtEnd() || FText[FPos] != c) return false;
    ++FPos;
    return true;
  }

 private:
  bool ParseObject(TJsonValue* out, int depth);
  bool ParseArray(TJsonValue* out, int depth);
  bool ParseString(std::string* out);
  bool ParseEscape(std::string* out);
  bool ParseHex4(char32_t& unit);
  bool ParseNumber(TJsonValue* out);
  bool ParseWord(std::string_view word);
  bool TakeDigits();

  std::string_view FText;
  std::size_t FPos = 0;
};

bool TJsonParser::ParseValue(TJsonValue* out, int depth) {
  SkipWhitespace();
  switch (Peek()) {
    case '{':
      return ParseObject(out, depth + 1);
    case '[':
      return ParseArray(out, depth + 1);
    case '"': {
      std::string text;
      if (!ParseString(out ? &text : nullptr)) return false;
      if (out) *out = TJsonValue::String(std::move(text));
      return true;
    }
    case 't':
      if (!ParseWord("true")) return false;
      if (out) *out = TJsonValue::Boolean(true);
      return true;
    case 'f':
      if (!ParseWord("false")) return false;
      if (out) *out = TJsonValue::Boolean(false);
      return true;
    case 'n':
      if (!ParseWord("null")) return false;
      if (out) *out = TJsonValue();
      return true;
    default:
      return ParseNumber(out);
  }
}

bool TJsonParser::ParseObject(TJsonValue* out, int depth) {
  if (depth > kMaxJsonDepth) return false;
  Take('{');
  if (out) *out = TJsonValue::Object();
  SkipWhitespace();
  if (Take('}')) return true;
  do {
    SkipWhitespace();
    if (Peek() != '"') return false;
    std::string key;
    if (!ParseString(out ? &key : nullptr)) return false;
    SkipWhitespace();
    if (!Take(':')) return false;
    TJsonValue value;
    if (!ParseValue(out ? &value : nullptr, depth)) return false;
    if (out) out->AddMember(std::move(key), std::move(value));
    SkipWhitespace();
  } while (Take(','));
  return Take('}');
}

bool TJsonParser::ParseArray(TJsonValue* out, int depth) {
  if (depth > kMaxJsonDepth) return false;
  if (out) *out = TJsonValue::Array();
  return ParseArrayElements([&] {
    TJsonValue element;
    if (!ParseValue(out ? &element : nullptr, depth)) return false;
    if (out) out->Append(std::move(element));
    return true;
  });
}

// Parses "[ ... ]" at the current position; `parseElement` parses each element where it stands.
bool TJsonParser::ParseArrayElements(const std::function<bool()>& parseElement) {
  Take('[');
  SkipWhitespace();
  if (Take(']')) return true;
  do {
    if (!parseElement()) return false;
    SkipWhitespace();
  } while (Take(','));
  return Take(']');
}

bool TJsonParser::ParseString(std::string* out) {
  Take('"');
  while (!AtEnd()) {
    // Copy the run up to the next quote or backslash in one piece; raw control characters and
    // multi-byte sequences pass unchanged.
    const std::size_t stop = FText.find_first_of("\"\\", FPos);
    if (stop == std::string_view::npos) break;
    if (out) out->append(FText.substr(FPos, stop - FPos));
    FPos = stop + 1;
    if (FText[stop] == '"') return true;
    if (!ParseEscape(out)) return false;
  }
  return false;
}

// Decodes the escape after a backslash.
bool TJsonParser::ParseEscape(std::string* out) {
  if (AtEnd()) return false;
  const char letter = FText[FPos++];
  if (const std::size_t at = kEscapeLetters.find(letter); at != std::string_view::npos) {
    if (out) out->push_back(kEscapedCharacters[at]);
    return true;
  }
  if (letter != 'u') return false;
  char32_t unit = 0;
  if (!ParseHex4(unit)) return false;
  if (IsHighSurrogate(unit) && FText.substr(FPos, 2) == "\\u") {
    const std::size_t mark = FPos;
    FPos += 2;
    char32_t low = 0;
    if (!ParseHex4(low)) return false;
    if (IsLowSurrogate(low)) {
      if (out) AppendUtf8(*out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
      return true;
    }
    FPos = mark;  // not a pair: the next escape stands on its own
  }
  if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) unit = kReplacementCharacter;
  if (out) AppendUtf8(*out, unit);
  return true;
}

bool TJsonParser::ParseHex4(char32_t& unit) {
  if (FText.size() - FPos < 4) return false;
  unit = 0;
  for (int i = 0; i < 4; ++i) {
    const char c = FText[FPos++];
    unit <<= 4;
    if (c >= '0' && c <= '9') {
      unit |= static_cast<char32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      unit |= static_cast<char32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      unit |= static_cast<char32_t>(c - 'A' + 10);
    } else {
      return false;
    }
  }
  return true;
}

bool TJsonParser::TakeDigits() {
  const std::size_t start = FPos;
  while (!AtEnd() && IsDigit(FText[FPos])) ++FPos;
  return FPos > start;
}

bool TJsonParser::ParseNumber(TJsonValue* out) {
  const std::size_t start = FPos;
  Take('-');
  if (Take('0')) {
    // JSON allows no leading zeros: "01" ends the number after the 0 and fails later.
  } else if (!TakeDigits()) {
    return false;
  }
  if (Take('.') && !TakeDigits()) return false;
  if (Take('e') || Take('E')) {
    if (!Take('+')) Take('-');
    if (!TakeDigits()) return false;
  }
  if (out) *out = TJsonValue::Number(std::string(FText.substr(start, FPos - start)));
  return true;
}

bool TJsonParser::ParseWord(std::string_view word) {
  if (FText.substr(FPos, word.size()) != word) return false;
  FPos += word.size();
  return true;
}

}  // namespace

std::optional<TJsonValue> ParseJson(std::string_view text) {
  TJsonParser parser(text);
  TJsonValue value;
  if (!parser.ParseValue(&value, 0)) return std::nullopt;
  parser.SkipWhitespace();
  if (!parser.AtEnd()) return std::nullopt;
  return value;
}

TJsonArrayRead ReadJsonArrayObjects(std::string_view text,
                                    const std::function<void(const TJsonValue&)>& onObject) {
  TJsonParser parser(text);
  parser.SkipWhitespace();
  const bool isArray = parser.Peek() == '[';
  bool valid = false;
  if (isArray) {
    valid = parser.ParseArrayElements([&] {
      parser.SkipWhitespace();
      if (parser.Peek() != '{') return parser.ParseValue(nullptr, 1);
      TJsonValue object;
      if (!parser.ParseValue(&object, 1)) return false;
      onObject(object);
      return true;
    });
  } else {
    valid = parser.ParseValue(nullptr, 0);
  }
  parser.SkipWhitespace();
  if (!valid || !parser.AtEnd()) return TJsonArrayRead::NotJson;
  return isArray ? TJsonArrayRead::Array : TJsonArrayRead::NotArray;
}
