#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class TIniFile;

// The main window's outer bounds and the widths of the twelve list columns, as kept between runs
// in section "config" of the settings file next to the executable.
struct TWindowSettings {
  int32_t FormWidth, FormHeight, FormLeft, FormTop;
  std::array<int32_t, 12> ColumnWidths;

  friend bool operator==(const TWindowSettings&, const TWindowSettings&) = default;
};

// The executable's path with the extension of its file name replaced by ".ini"; a file name
// without a dot gets ".ini" appended. Both '/' and '\' end a directory name, so a dot in a
// directory name never counts.
std::string SettingsPathFor(const std::string& executablePath);

// Never fails. Without a settings file: 1106 × 750 centred on the screen, columns 150, 150, 150
// and nine times 65. With one, each key of section "config" that is missing or unreadable takes
// its default instead: 1106, 750, the same centring, every column 200. A file that is there but
// cannot be read (a directory, no permission) counts as a file without any of the keys: it is
// not a first run, and the user may get the file back.
TWindowSettings LoadWindowSettings(const std::string& iniPath, int32_t screenWidth,
                                   int32_t screenHeight);

// Sets the sixteen keys of section "config" (formwidth, formheight, formleft, formtop, col0 …
// col11, in decimal) in the current file, or in a new one, and replaces the file in one step;
// everything else in the file stays as it was. On any failure the file is unchanged and
// std::runtime_error "Unable to write to <path>" is thrown, nesting the system's reason. A file
// that exists but cannot be read is such a failure: replacing it would lose what it holds.
void StoreWindowSettings(const std::string& iniPath, const TWindowSettings& settings);

// The text halves of Load and Store, for callers that hold the file's text already.
TWindowSettings ReadWindowSettings(const TIniFile& ini, int32_t screenWidth, int32_t screenHeight);
void WriteWindowSettings(TIniFile& ini, const TWindowSettings& settings);

// A settings value, exactly as given (no blanks): decimal with an optional '-', or hexadecimal
// after "0x", "0X" or "$" (digits of either case, no sign). The number must fit int32_t in both
// notations, so "$FFFFFFFF" is out of range rather than -1. Anything else, an empty text included,
// gives false and leaves `value` unchanged.
bool ParseSettingsInteger(std::string_view text, int32_t& value);
