#include "JsonWriter.h"

#include "JsonEscapes.h"
#include "JsonValue.h"
#include "Utf8.h"

namespace {

constexpr std::string_view kLineBreak = "\r\n";
constexpr std::size_t kIndentWidth = 4;

bool NeedsEscape(char c) {
  return kEscapedCharacters.find(c) != std::string_view::npos;
}

void WriteString(std::string& out, std::string_view text) {
  out.push_back('"');
  std::size_t pos = 0;
  while (pos < text.size()) {
    // Copy runs of ASCII that needs no escape in one piece.
    std::size_t run = pos;
    while (run < text.size() && static_cast<unsigned char>(text[run]) < 0x80 &&
           !NeedsEscape(text[run])) {
      ++run;
    }
    out.append(text.substr(pos, run - pos));
    pos = run;
    if (pos == text.size()) break;

    if (const std::size_t at = kEscapedCharacters.find(text[pos]); at != std::string_view::npos) {
      out.push_back('\\');
      out.push_back(kEscapeLetters[at]);
      ++pos;
    } else if (const std::size_t length = Utf8SequenceLength(text, pos)) {
      out.append(text.substr(pos, length));
      pos += length;
    } else {
      AppendUtf8(out, kReplacementCharacter);
      ++pos;
    }
  }
  out.push_back('"');
}

void Indent(std::string& out, int level) {
  out.append(kIndentWidth * level, ' ');
}

void WriteValue(std::string& out, const TJsonValue& value, int level);

// Writes "[ ... ]" or "{ ... }" with one item a line; `count` items, `writeItem(i)` writes one.
template <typename WriteItem>
void WriteContainer(std::string& out, char open, char close, std::size_t count, int level,
                    WriteItem writeItem) {
  out.push_back(open);
  out.append(kLineBreak);
  for (std::size_t i = 0; i < count; ++i) {
    Indent(out, level + 1);
    writeItem(i);
    if (i + 1 < count) out.push_back(',');
    out.append(kLineBreak);
  }
  Indent(out, level);
  out.push_back(close);
}

void WriteValue(std::string& out, const TJsonValue& value, int level) {
  switch (value.Kind()) {
    case TJsonValue::TKind::Null:
      out.append("null");
      break;
    case TJsonValue::TKind::Boolean:
      out.append(value.BooleanValue() ? "true" : "false");
      break;
    case TJsonValue::TKind::Number:
      out.append(value.Text());
      break;
    case TJsonValue::TKind::String:
      WriteString(out, value.Text());
      break;
    case TJsonValue::TKind::Array: {
      const auto& elements = value.Elements();
      WriteContainer(out, '[', ']', elements.size(), level,
                     [&](std::size_t i) { WriteValue(out, elements[i], level + 1); });
      break;
    }
    case TJsonValue::TKind::Object: {
      const auto& members = value.Members();
      WriteContainer(out, '{', '}', members.size(), level, [&](std::size_t i) {
        WriteString(out, members[i].Key);
        out.append(": ");
        WriteValue(out, members[i].Value, level + 1);
      });
      break;
    }
  }
}

}  // namespace

std::string WriteJson(const TJsonValue& value) {
  std::string out;
  WriteValue(out, value, 0);
  return out;
}
