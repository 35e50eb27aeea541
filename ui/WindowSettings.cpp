#include "WindowSettings.h"

#include <cerrno>
#include <charconv>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "AtomicFile.h"
#include "IniFile.h"

namespace {

constexpr std::string_view kSection = "config";
constexpr int32_t kDefaultWidth = 1106;
constexpr int32_t kDefaultHeight = 750;
// A column missing from an existing file; a first run uses the designed widths below instead.
constexpr int32_t kColumnWidthInFile = 200;
constexpr std::array<int32_t, 12> kFirstRunColumnWidths = {150, 150, 150, 65, 65, 65,
                                                           65,  65,  65,  65, 65, 65};

// In 64 bits so that no screen size overflows; '/' truncates toward zero, as the rule wants.
int32_t Centred(int32_t screenSize, int32_t windowSize) {
  return static_cast<int32_t>((int64_t{screenSize} - windowSize) / 2);
}

TWindowSettings FirstRunSettings(int32_t screenWidth, int32_t screenHeight) {
  return {kDefaultWidth, kDefaultHeight, Centred(screenWidth, kDefaultWidth),
          Centred(screenHeight, kDefaultHeight), kFirstRunColumnWidths};
}

std::string ColumnKey(std::size_t column) {
  return "col" + std::to_string(column);
}

int32_t ReadInteger(const TIniFile& ini, std::string_view key, int32_t defaultValue) {
  int32_t value = 0;
  return ParseSettingsInteger(ini.ReadString(kSection, key, ""), value) ? value : defaultValue;
}

// Paths are UTF-8 everywhere in the program; this keeps them so on Windows too.
std::filesystem::path FileSystemPath(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

[[noreturn]] void ThrowReadFailure(const std::string& path, const std::string& reason) {
  throw std::runtime_error("Cannot read file \"" + path + "\". " + reason);
}

// The file's bytes, or nothing when no file is there. Throws std::runtime_error with the reason
// when something is there that cannot be read.
std::optional<std::string> ReadFileIfPresent(const std::string& path) {
  const std::filesystem::path fileSystemPath = FileSystemPath(path);
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(fileSystemPath, error);
  if (status.type() == std::filesystem::file_type::not_found) return std::nullopt;
  if (error) ThrowReadFailure(path, error.message());
  // Also keeps a FIFO from blocking the window forever.
  if (status.type() != std::filesystem::file_type::regular) {
    ThrowReadFailure(path, "It is not a regular file.");
  }
  std::ifstream in(fileSystemPath, std::ios::binary);
  if (!in) ThrowReadFailure(path, std::generic_category().message(errno));
  std::string bytes;
  std::array<char, 64 * 1024> chunk;
  while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
    bytes.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) ThrowReadFailure(path, std::generic_category().message(errno));
  return bytes;
}

}  // namespace

std::string SettingsPathFor(const std::string& executablePath) {
  const std::size_t separator = executablePath.find_last_of("/\\");
  const std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
  const std::size_t dot = executablePath.rfind('.');
  const bool hasExtension = dot != std::string::npos && dot >= nameStart;
  return executablePath.substr(0, hasExtension ? dot : executablePath.size()) + ".ini";
}

TWindowSettings LoadWindowSettings(const std::string& iniPath, int32_t screenWidth,
                                   int32_t screenHeight) {
  std::string bytes;
  try {
    const std::optional<std::string> file = ReadFileIfPresent(iniPath);
    if (!file) return FirstRunSettings(screenWidth, screenHeight);
    bytes = *file;
  } catch (const std::runtime_error&) {
    // Reading never fails: a file that is there but unreadable reads as one without any keys.
  }
  return ReadWindowSettings(TIniFile(bytes), screenWidth, screenHeight);
}

void StoreWindowSettings(const std::string& iniPath, const TWindowSettings& settings) {
  try {
    TIniFile ini(ReadFileIfPresent(iniPath).value_or(""));
    WriteWindowSettings(ini, settings);
    WriteFileAtomically(iniPath, ini.Render());
  } catch (const std::runtime_error&) {
    std::throw_with_nested(std::runtime_error("Unable to write to " + iniPath));
  }
}

TWindowSettings ReadWindowSettings(const TIniFile& ini, int32_t screenWidth, int32_t screenHeight) {
  // The centring always uses the default size, whatever size the file gives.
  TWindowSettings settings{};
  settings.FormWidth = ReadInteger(ini, "formwidth", kDefaultWidth);
  settings.FormHeight = ReadInteger(ini, "formheight", kDefaultHeight);
  settings.FormLeft = ReadInteger(ini, "formleft", Centred(screenWidth, kDefaultWidth));
  settings.FormTop = ReadInteger(ini, "formtop", Centred(screenHeight, kDefaultHeight));
  for (std::size_t i = 0; i < settings.ColumnWidths.size(); ++i) {
    settings.ColumnWidths[i] = ReadInteger(ini, ColumnKey(i), kColumnWidthInFile);
  }
  return settings;
}

void WriteWindowSettings(TIniFile& ini, const TWindowSettings& settings) {
  ini.WriteString(kSection, "formwidth", std::to_string(settings.FormWidth));
  ini.WriteString(kSection, "formheight", std::to_string(settings.FormHeight));
  ini.WriteString(kSection, "formleft", std::to_string(settings.FormLeft));
  ini.WriteString(kSection, "formtop", std::to_string(settings.FormTop));
  for (std::size_t i = 0; i < settings.ColumnWidths.size(); ++i) {
    ini.WriteString(kSection, ColumnKey(i), std::to_string(settings.ColumnWidths[i]));
  }
}

bool ParseSettingsInteger(std::string_view text, int32_t& value) {
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(2);
    base = 16;
  } else if (text.starts_with('$')) {
    text.remove_prefix(1);
    base = 16;
  }
  // std::from_chars takes a '-' in every base, but a hexadecimal value has no sign.
  if (text.empty() || (base == 16 && text.front() == '-')) return false;
  int32_t parsed = 0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, parsed, base);
  if (error != std::errc() || stop != end) return false;
  value = parsed;
  return true;
}
