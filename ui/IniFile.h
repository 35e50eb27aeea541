#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Line break of lines added to a text that has none to copy yet: the platform's own.
#ifdef _WIN32
inline constexpr std::string_view kIniDefaultLineBreak = "\r\n";
#else
inline constexpr std::string_view kIniDefaultLineBreak = "\n";
#endif

// An INI text kept as its lines, so that setting a value changes that value's bytes and nothing
// else. Any bytes are accepted: text that is no INI syntax is carried along untouched.
//
// Syntax as read: lines end at LF; a CR right before the LF, or at the very end of the text,
// belongs to the line break. A UTF-8 byte-order mark at the start is kept and is not part of the
// first line. A line whose text, blanks (space, tab) trimmed, starts with '[' and holds a ']'
// opens a section named by the trimmed text between the brackets. A line starting with ';' or '#'
// is a comment. Any other line that does not start with '[' and holds '=' is a key line: the
// trimmed text before the first '=' is the key (when not empty), the trimmed rest is the value.
// Key lines before the first section belong to none and are never matched.
//
// Matching: section and key names compare with SameHost (ASCII letters folded, nothing else); the
// first matching section counts and, inside it, the first matching key. Later duplicates stay in
// the text as they are.
class TIniFile {
 public:
  TIniFile();
  explicit TIniFile(std::string_view text);

  // The value of `key` in `section`, or `defaultValue` when the section or the key is missing. An
  // empty value is returned as such.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;

  // Sets `key` in `section` to `value`. An existing key's value bytes are replaced in place; a
  // missing key becomes a new line right after the section's last key line (after the section's
  // header when it has none); a missing section is added at the end of the text. New lines take
  // the line break of the text's first line (CR LF for one cut short), or kIniDefaultLineBreak
  // when there is none. A last line without a complete line break gets one when a line is added
  // after it.
  // Throws std::invalid_argument for a name or value that would not read back as given: an empty
  // name, a line break anywhere, blanks at either end, ']' in a section, '=' in a key, or a key
  // starting with '[', ';' or '#'. The text is then unchanged.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);

  // The text: byte-identical to what was parsed when nothing has been written.
  std::string Render() const;

 private:
  struct TLine {
    std::string Text;   // without the line break
    std::string Break;  // "\r\n" or "\n"; on the last line also "\r" (a CR LF cut short) or empty
  };

  std::optional<std::size_t> FindSection(std::string_view section) const;
  std::size_t SectionEnd(std::size_t header) const;  // index of the next section's header
  std::optional<std::size_t> FindKey(std::size_t header, std::string_view key) const;
  void InsertLine(std::size_t index, std::string text);

  std::string FByteOrderMark;
  std::vector<TLine> FLines;
  std::string FNewLineBreak;
};
