#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "HostMatch.h"
#include "IniFile.h"
#include "WindowSettings.h"

// The property both the INI fuzzer and the corpus replay check. Any bytes are taken as a settings
// file; the sixteen settings are read, changed and written, and the text rendered. Then:
// - untouched, the text renders back byte for byte;
// - the output reads back with the values set;
// - every input line survives in order, except lines of one of the sixteen keys, which may only
//   have their value replaced in place; every other output line is "[config]" or a new key line;
// - other keys read the same before and after.
// The line model here is written independently of TIniFile on purpose. Returns what went wrong,
// or an empty text.

namespace ini_round_trip {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

struct TRawLine {
  std::string_view Text;
  std::string_view Break;
};

inline std::vector<TRawLine> SplitLines(std::string_view text) {
  std::vector<TRawLine> lines;
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    if (lf == text.npos) {
      const std::size_t textEnd = text.back() == '\r' ? text.size() - 1 : text.size();
      lines.push_back({text.substr(0, textEnd), text.substr(textEnd)});
      break;
    }
    const std::size_t textEnd = (lf > 0 && text[lf - 1] == '\r') ? lf - 1 : lf;
    lines.push_back({text.substr(0, textEnd), text.substr(textEnd, lf + 1 - textEnd)});
    text.remove_prefix(lf + 1);
  }
  return lines;
}

inline bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

struct TKeyValue {
  std::string Key;
  std::string Value;
};

inline std::vector<TKeyValue> KeyValuesOf(const TWindowSettings& settings) {
  std::vector<TKeyValue> pairs = {{"formwidth", std::to_string(settings.FormWidth)},
                                  {"formheight", std::to_string(settings.FormHeight)},
                                  {"formleft", std::to_string(settings.FormLeft)},
                                  {"formtop", std::to_string(settings.FormTop)}};
  for (std::size_t i = 0; i < settings.ColumnWidths.size(); ++i) {
    pairs.push_back({"col" + std::to_string(i), std::to_string(settings.ColumnWidths[i])});
  }
  return pairs;
}

// The value set for the key of a line "key = value", or null when the line is none of ours.
inline const std::string* SetValueFor(std::string_view line, const std::vector<TKeyValue>& set) {
  const std::size_t equals = line.find('=');
  if (equals == line.npos) return nullptr;
  std::string_view name = line.substr(0, equals);
  while (!name.empty() && IsBlank(name.front())) name.remove_prefix(1);
  while (!name.empty() && IsBlank(name.back())) name.remove_suffix(1);
  for (const TKeyValue& pair : set) {
    if (SameHost(name, pair.Key)) return &pair.Value;
  }
  return nullptr;
}

// `line` with its value, blanks around it kept, replaced by `value`.
inline std::string ReplacedInPlace(std::string_view line, std::string_view value) {
  const std::size_t equals = line.find('=');
  std::size_t begin = equals + 1, end = line.size();
  while (begin < end && IsBlank(line[begin])) ++begin;
  while (end > begin && IsBlank(line[end - 1])) --end;
  if (begin == end) begin = end = equals + 1;
  return std::string(line.substr(0, begin)) + std::string(value) + std::string(line.substr(end));
}

inline bool IsAddedLine(std::string_view line, const std::vector<TKeyValue>& set) {
  if (line == "[config]") return true;
  for (const TKeyValue& pair : set) {
    if (line == pair.Key + "=" + pair.Value) return true;
  }
  return false;
}

// Input lines in order within the output; a last input line may have completed its line break.
inline std::string CheckLinesSurvive(std::string_view input, std::string_view output,
                                     const std::vector<TKeyValue>& set) {
  const std::vector<TRawLine> before = SplitLines(input), after = SplitLines(output);
  std::size_t next = 0, added = 0;
  for (std::size_t i = 0; i < before.size(); ++i) {
    const TRawLine& old = before[i];
    const bool last = i + 1 == before.size();
    const std::string* value = SetValueFor(old.Text, set);
    while (true) {
      if (next == after.size()) return "input line " + std::to_string(i) + " is lost";
      const TRawLine& now = after[next++];
      const bool breakKept =
          now.Break == old.Break ||
          (last && (old.Break.empty() || (old.Break == "\r" && now.Break == "\r\n")));
      if (breakKept &&
          (now.Text == old.Text || (value && now.Text == ReplacedInPlace(old.Text, *value)))) {
        break;
      }
      if (!IsAddedLine(now.Text, set)) {
        return "output line " + std::to_string(next - 1) + " is neither kept nor added";
      }
      ++added;
    }
  }
  for (; next < after.size(); ++next, ++added) {
    if (!IsAddedLine(after[next].Text, set)) {
      return "output line " + std::to_string(next) + " at the end is neither kept nor added";
    }
  }
  if (added > set.size() + 1) return std::to_string(added) + " lines added";
  return "";
}

// Values that differ from what was read, negative and extreme ones included.
inline TWindowSettings Changed(TWindowSettings settings) {
  const auto change = [](int32_t& v) {
    v = static_cast<int32_t>(static_cast<uint32_t>(v) * 3u + 1u);
  };
  change(settings.FormWidth);
  change(settings.FormHeight);
  change(settings.FormLeft);
  change(settings.FormTop);
  for (int32_t& width : settings.ColumnWidths) change(width);
  return settings;
}

struct TOtherKey {
  const char* Section;
  const char* Key;
};
constexpr std::array<TOtherKey, 4> kOtherKeys = {
    {{"config", "col12"}, {"config", "form"}, {"other", "formwidth"}, {"config", "x"}}};

}  // namespace ini_round_trip

inline std::string CheckIniRoundTrip(std::string_view bytes) {
  using namespace ini_round_trip;
  TIniFile ini(bytes);
  if (ini.Render() != bytes) return "parsing and rendering changed the text";

  std::array<std::string, kOtherKeys.size()> othersBefore;
  for (std::size_t i = 0; i < kOtherKeys.size(); ++i) {
    othersBefore[i] = ini.ReadString(kOtherKeys[i].Section, kOtherKeys[i].Key, "(missing)");
  }
  const TWindowSettings set = Changed(ReadWindowSettings(ini, 1920, 1080));
  WriteWindowSettings(ini, set);
  const std::string output = ini.Render();

  const TIniFile reread(output);
  if (reread.Render() != output) return "the output does not render back byte for byte";
  if (!(ReadWindowSettings(reread, 1920, 1080) == set)) return "the settings do not read back";
  const std::vector<TKeyValue> pairs = KeyValuesOf(set);
  for (const TKeyValue& pair : pairs) {
    if (reread.ReadString("config", pair.Key, "(missing)") != pair.Value) {
      return "key " + pair.Key + " does not read back as " + pair.Value;
    }
  }
  for (std::size_t i = 0; i < kOtherKeys.size(); ++i) {
    if (reread.ReadString(kOtherKeys[i].Section, kOtherKeys[i].Key, "(missing)") !=
        othersBefore[i]) {
      return std::string("key ") + kOtherKeys[i].Key + " of section " + kOtherKeys[i].Section +
             " changed";
    }
  }

  const bool bomBefore = bytes.starts_with(kByteOrderMark);
  if (output.starts_with(kByteOrderMark) != bomBefore) return "the byte-order mark changed";
  const std::size_t skip = bomBefore ? kByteOrderMark.size() : 0;
  return CheckLinesSurvive(bytes.substr(skip), std::string_view(output).substr(skip), pairs);
}
