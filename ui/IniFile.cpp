#include "IniFile.h"

#include <stdexcept>

#include "HostMatch.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<std::string_view> SectionNameOf(std::string_view line) {
  const std::string_view text = Trim(line);
  if (text.empty() || text.front() != '[') return std::nullopt;
  const std::size_t close = text.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(text.substr(1, close - 1));
}

// Offsets into the line, so that a value can be replaced without touching its surroundings.
struct TKeyLine {
  std::string_view Name;
  std::size_t ValueBegin;
  std::size_t ValueEnd;
};

std::optional<TKeyLine> KeyLineOf(std::string_view line) {
  const std::string_view text = Trim(line);
  if (text.empty() || text.front() == '[' || text.front() == ';' || text.front() == '#') {
    return std::nullopt;
  }
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  const std::string_view name = Trim(line.substr(0, equals));
  if (name.empty()) return std::nullopt;
  std::size_t begin = equals + 1, end = line.size();
  while (begin < end && IsBlank(line[begin])) ++begin;
  while (end > begin && IsBlank(line[end - 1])) --end;
  if (begin == end) begin = end = equals + 1;  // a new value goes right after the '='
  return TKeyLine{name, begin, end};
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != text.npos;
}

bool HasOuterBlank(std::string_view text) {
  return !text.empty() && (IsBlank(text.front()) || IsBlank(text.back()));
}

void CheckWritable(std::string_view section, std::string_view key, std::string_view value) {
  if (section.empty() || HasLineBreak(section) || HasOuterBlank(section) ||
      section.find(']') != section.npos) {
    throw std::invalid_argument("INI section name cannot be written: " + std::string(section));
  }
  if (key.empty() || HasLineBreak(key) || HasOuterBlank(key) || key.find('=') != key.npos ||
      key.front() == '[' || key.front() == ';' || key.front() == '#') {
    throw std::invalid_argument("INI key name cannot be written: " + std::string(key));
  }
  if (HasLineBreak(value) || HasOuterBlank(value)) {
    throw std::invalid_argument("INI value cannot be written for key " + std::string(key));
  }
}

}  // namespace

TIniFile::TIniFile() : TIniFile(std::string_view()) {}

TIniFile::TIniFile(std::string_view text) {
  if (text.starts_with(kByteOrderMark)) {
    FByteOrderMark = kByteOrderMark;
    text.remove_prefix(kByteOrderMark.size());
  }
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    if (lf == text.npos) {
      // A CR at the very end is a CR LF cut short, so it too belongs to the line break.
      const bool cr = text.back() == '\r';
      FLines.push_back(
          {std::string(text.substr(0, cr ? text.size() - 1 : text.size())), cr ? "\r" : ""});
      break;
    }
    const bool crlf = lf > 0 && text[lf - 1] == '\r';
    FLines.push_back({std::string(text.substr(0, crlf ? lf - 1 : lf)), crlf ? "\r\n" : "\n"});
    text.remove_prefix(lf + 1);
  }
  const std::string firstBreak = FLines.empty() ? "" : FLines.front().Break;
  FNewLineBreak = firstBreak.empty()   ? std::string(kIniDefaultLineBreak)
                  : firstBreak == "\r" ? "\r\n"
                                       : firstBreak;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const {
  const auto header = FindSection(section);
  const auto line = header ? FindKey(*header, key) : std::nullopt;
  if (!line) return std::string(defaultValue);
  const std::string& text = FLines[*line].Text;
  const TKeyLine found = *KeyLineOf(text);
  return text.substr(found.ValueBegin, found.ValueEnd - found.ValueBegin);
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  CheckWritable(section, key, value);
  const std::string keyLine = std::string(key) + "=" + std::string(value);
  const auto header = FindSection(section);
  if (!header) {
    InsertLine(FLines.size(), "[" + std::string(section) + "]");
    InsertLine(FLines.size(), keyLine);
    return;
  }
  if (const auto line = FindKey(*header, key)) {
    std::string& text = FLines[*line].Text;
    const TKeyLine found = *KeyLineOf(text);
    text.replace(found.ValueBegin, found.ValueEnd - found.ValueBegin, value);
    return;
  }
  // After the last key line rather than before the next header, so that blank lines and comments
  // separating the sections stay where they are.
  std::size_t lastKey = *header;
  const std::size_t end = SectionEnd(*header);
  for (std::size_t i = *header + 1; i < end; ++i) {
    if (KeyLineOf(FLines[i].Text)) lastKey = i;
  }
  InsertLine(lastKey + 1, keyLine);
}

std::string TIniFile::Render() const {
  std::size_t size = FByteOrderMark.size();
  for (const TLine& line : FLines) size += line.Text.size() + line.Break.size();
  std::string text;
  text.reserve(size);
  text += FByteOrderMark;
  for (const TLine& line : FLines) {
    text += line.Text;
    text += line.Break;
  }
  return text;
}

std::optional<std::size_t> TIniFile::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < FLines.size(); ++i) {
    const auto name = SectionNameOf(FLines[i].Text);
    if (name && SameHost(*name, section)) return i;
  }
  return std::nullopt;
}

std::size_t TIniFile::SectionEnd(std::size_t header) const {
  std::size_t i = header + 1;
  while (i < FLines.size() && !SectionNameOf(FLines[i].Text)) ++i;
  return i;
}

std::optional<std::size_t> TIniFile::FindKey(std::size_t header, std::string_view key) const {
  const std::size_t end = SectionEnd(header);
  for (std::size_t i = header + 1; i < end; ++i) {
    const auto found = KeyLineOf(FLines[i].Text);
    if (found && SameHost(found->Name, key)) return i;
  }
  return std::nullopt;
}

void TIniFile::InsertLine(std::size_t index, std::string text) {
  // Only a last line can lack a complete line break; it gets one, keeping a CR it already has.
  if (index > 0) {
    std::string& previous = FLines[index - 1].Break;
    if (previous.empty()) previous = FNewLineBreak;
    if (previous == "\r") previous = "\r\n";
  }
  FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(index),
                TLine{std::move(text), FNewLineBreak});
}
