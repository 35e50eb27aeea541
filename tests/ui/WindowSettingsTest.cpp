// The window settings file for real, in temporary directories: which values a start gets, what a
// close writes, and what a refused write leaves behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "IniFile.h"
#include "MountNamespace.h"
#include "TempDirectory.h"
#include "WindowSettings.h"

std::string ToText(const TWindowSettings& s) {
  std::string text = std::to_string(s.FormWidth) + "x" + std::to_string(s.FormHeight) + " at " +
                     std::to_string(s.FormLeft) + "," + std::to_string(s.FormTop) + ", columns";
  for (const int32_t width : s.ColumnWidths) text += " " + std::to_string(width);
  return text;
}

void PrintTo(const TWindowSettings& s, std::ostream* out) {
  *out << ToText(s);
}

namespace {

const std::string NL(kIniDefaultLineBreak);

TWindowSettings FirstRun(int32_t left, int32_t top) {
  return {1106, 750, left, top, {150, 150, 150, 65, 65, 65, 65, 65, 65, 65, 65, 65}};
}

// What a file without any of the keys gives on a 1920 x 1080 screen.
TWindowSettings FileDefaults() {
  TWindowSettings s{1106, 750, 407, 165, {}};
  s.ColumnWidths.fill(200);
  return s;
}

TWindowSettings FileDefaultsWithWidth(int32_t width) {
  TWindowSettings s = FileDefaults();
  s.FormWidth = width;
  return s;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  ASSERT_TRUE(out.flush()) << path;
}

template <typename T>
std::string CaseName(const ::testing::TestParamInfo<T>& info) {
  return info.param.name;
}

struct PathCase {
  const char* name;
  const char* executable;
  const char* settings;
};
void PrintTo(const PathCase& c, std::ostream* out) {
  *out << c.name;
}

class SettingsPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(SettingsPathTest, ReplacesExtensionOfFileNameOnly) {
  EXPECT_EQ(SettingsPathFor(GetParam().executable), GetParam().settings);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SettingsPathTest,
    ::testing::Values(
        PathCase{"NoExtension", "/opt/halvoro/halvoro", "/opt/halvoro/halvoro.ini"},
        PathCase{"Extension", "/opt/halvoro/monitor.exe", "/opt/halvoro/monitor.ini"},
        PathCase{"DotInDirectory", "/opt/halvoro.d/halvoro", "/opt/halvoro.d/halvoro.ini"},
        PathCase{"LastDotCounts", "/opt/a/halvoro.tar.gz", "/opt/a/halvoro.tar.ini"},
        PathCase{"TrailingDot", "/opt/a/halvoro.", "/opt/a/halvoro.ini"},
        PathCase{"DotFirst", "/opt/a/.halvoro", "/opt/a/.ini"},
        PathCase{"BackslashDirectory", "C:\\Tools 1.2\\halvoro", "C:\\Tools 1.2\\halvoro.ini"},
        PathCase{"BareName", "halvoro", "halvoro.ini"},
        PathCase{"Utf8Names", "/opt/监控.d/监控.exe", "/opt/监控.d/监控.ini"}),
    CaseName<PathCase>);

struct IntegerCase {
  const char* name;
  const char* text;
  std::optional<int32_t> value;  // none: unreadable
};
void PrintTo(const IntegerCase& c, std::ostream* out) {
  *out << c.name;
}

class ParseSettingsIntegerTest : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(ParseSettingsIntegerTest, ReadsDecimalAndHexadecimalWithinInt32) {
  const IntegerCase& c = GetParam();
  int32_t value = 12345;
  EXPECT_EQ(ParseSettingsInteger(c.text, value), c.value.has_value());
  EXPECT_EQ(value, c.value.value_or(12345)) << "an unreadable text must leave the value alone";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseSettingsIntegerTest,
    ::testing::Values(
        IntegerCase{"Zero", "0", 0}, IntegerCase{"Decimal", "1106", 1106},
        IntegerCase{"Negative", "-41", -41}, IntegerCase{"NegativeZero", "-0", 0},
        IntegerCase{"LeadingZerosAreDecimal", "0012", 12},
        IntegerCase{"Largest", "2147483647", 2147483647},
        IntegerCase{"Smallest", "-2147483648", INT32_MIN},
        IntegerCase{"TooLarge", "2147483648", std::nullopt},
        IntegerCase{"TooSmall", "-2147483649", std::nullopt},
        IntegerCase{"Huge", "99999999999999999999", std::nullopt},
        IntegerCase{"HexLower", "0x500", 1280}, IntegerCase{"HexUpperPrefix", "0X1f", 31},
        IntegerCase{"Dollar", "$500", 1280}, IntegerCase{"DollarMixedDigits", "$aBc", 2748},
        IntegerCase{"HexLeadingZeros", "0x00000000000500", 1280},
        IntegerCase{"HexLargest", "$7FFFFFFF", 2147483647},
        IntegerCase{"HexAboveInt32", "0x80000000", std::nullopt},
        IntegerCase{"HexAllBitsIsNotMinusOne", "$FFFFFFFF", std::nullopt},
        IntegerCase{"NegativeHex", "-0x10", std::nullopt},
        IntegerCase{"NegativeDollar", "-$10", std::nullopt},
        IntegerCase{"SignAfterPrefix", "0x-10", std::nullopt},
        IntegerCase{"SignAfterDollar", "$-10", std::nullopt},
        IntegerCase{"PrefixOnly", "0x", std::nullopt}, IntegerCase{"DollarOnly", "$", std::nullopt},
        IntegerCase{"Empty", "", std::nullopt}, IntegerCase{"MinusOnly", "-", std::nullopt},
        IntegerCase{"PlusSign", "+5", std::nullopt}, IntegerCase{"Letters", "abc", std::nullopt},
        IntegerCase{"TrailingJunk", "12abc", std::nullopt},
        IntegerCase{"BadHexDigit", "0x1g", std::nullopt},
        IntegerCase{"Fraction", "1.5", std::nullopt}, IntegerCase{"Exponent", "1e3", std::nullopt},
        IntegerCase{"LeadingBlank", " 12", std::nullopt},
        IntegerCase{"TrailingBlank", "12 ", std::nullopt}),
    CaseName<IntegerCase>);

struct LoadCase {
  const char* name;
  std::optional<std::string> file;  // none: no file at all
  int32_t screenWidth;
  int32_t screenHeight;
  TWindowSettings expected;
};
void PrintTo(const LoadCase& c, std::ostream* out) {
  *out << c.name;
}

class LoadWindowSettingsTest : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadWindowSettingsTest, AppliesFileOrDefaults) {
  const LoadCase& c = GetParam();
  TTempDirectory dir;
  const std::string path = dir.File("halvoro.ini");
  if (c.file) WriteFile(path, *c.file);
  EXPECT_EQ(LoadWindowSettings(path, c.screenWidth, c.screenHeight), c.expected);
}

TWindowSettings AllKeysFromFile() {
  return {800, -5, -2000, 16, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 2147483647}};
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadWindowSettingsTest,
    ::testing::Values(
        LoadCase{"NoFileFullHd", std::nullopt, 1920, 1080, FirstRun(407, 165)},
        LoadCase{"NoFileXga", std::nullopt, 1024, 768, FirstRun(-41, 9)},
        LoadCase{"NoFileCentringTruncatesTowardZero", std::nullopt, 1023, 667, FirstRun(-41, -41)},
        LoadCase{"NoFileOddDifference", std::nullopt, 1365, 1001, FirstRun(129, 125)},
        LoadCase{"EmptyFile", "", 1920, 1080, FileDefaults()},
        LoadCase{"OnlyFormWidth", "[config]\nformwidth=1200\n", 1920, 1080,
                 FileDefaultsWithWidth(1200)},
        LoadCase{"CentringIgnoresWidthFromFile",
                 "[config]\nformwidth=1200\n",
                 1024,
                 768,
                 {1200, 750, -41, 9, FileDefaults().ColumnWidths}},
        LoadCase{"HexWidth", "[config]\nformwidth=0x500\n", 1920, 1080,
                 FileDefaultsWithWidth(1280)},
        LoadCase{"DollarWidth", "[config]\nformwidth=$500\n", 1920, 1080,
                 FileDefaultsWithWidth(1280)},
        LoadCase{"UnreadableWidth", "[config]\nformwidth=abc\n", 1920, 1080, FileDefaults()},
        LoadCase{"EmptyWidth", "[config]\nformwidth=\n", 1920, 1080, FileDefaults()},
        LoadCase{"OutOfRangeWidth", "[config]\nformwidth=$FFFFFFFF\n", 1920, 1080, FileDefaults()},
        LoadCase{"OtherLetterCase", "[CONFIG]\nFormWidth=1200\n", 1920, 1080,
                 FileDefaultsWithWidth(1200)},
        LoadCase{"KeyInOtherSection", "[other]\nformwidth=1200\n", 1920, 1080, FileDefaults()},
        LoadCase{"AllKeysCrLfAndByteOrderMark",
                 "\xEF\xBB\xBF[config]\r\nformwidth=800\r\nformheight=-5\r\nformleft=-2000\r\n"
                 "formtop=$10\r\ncol0=0\r\ncol1=1\r\ncol2=2\r\ncol3=3\r\ncol4=4\r\ncol5=5\r\n"
                 "col6=6\r\ncol7=7\r\ncol8=8\r\ncol9=9\r\ncol10=0xA\r\ncol11=2147483647\r\n",
                 1920, 1080, AllKeysFromFile()}),
    CaseName<LoadCase>);

class StoreWindowSettingsTest : public ::testing::Test {
 protected:
  TTempDirectory FDir;
  const std::string FPath = FDir.File("halvoro.ini");
};

TEST_F(StoreWindowSettingsTest, FreshFileGetsAllSixteenKeysInOrder) {
  StoreWindowSettings(FPath, FirstRun(407, 165));
  EXPECT_EQ(ReadFile(FPath), "[config]" + NL + "formwidth=1106" + NL + "formheight=750" + NL +
                                 "formleft=407" + NL + "formtop=165" + NL + "col0=150" + NL +
                                 "col1=150" + NL + "col2=150" + NL + "col3=65" + NL + "col4=65" +
                                 NL + "col5=65" + NL + "col6=65" + NL + "col7=65" + NL + "col8=65" +
                                 NL + "col9=65" + NL + "col10=65" + NL + "col11=65" + NL);
}

TEST_F(StoreWindowSettingsTest, WidenedColumnSurvivesTheNextStart) {
  TWindowSettings settings = LoadWindowSettings(FPath, 1920, 1080);
  settings.ColumnWidths[3] = 80;
  StoreWindowSettings(FPath, settings);
  EXPECT_NE(ReadFile(FPath).find(NL + "col3=80" + NL), std::string::npos);
  EXPECT_EQ(LoadWindowSettings(FPath, 1920, 1080), settings);
}

// Values are replaced where they stand, missing keys go to the end of the section (not of the
// file), and everything else keeps its bytes, line breaks and byte-order mark included.
TEST_F(StoreWindowSettingsTest, KeepsEverythingElseInTheFile) {
  WriteFile(FPath,
            "\xEF\xBB\xBF; halvoro window\r\n[Other]\r\nformwidth=1\r\n\r\n[CONFIG]\r\n"
            "FormWidth = 1200\r\n; user note\r\ncol3=abc\r\nother=x\r\n\r\n[last]\r\nz=1");
  const TWindowSettings settings{
      1300, 700, -41, 9, {10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21}};
  StoreWindowSettings(FPath, settings);
  EXPECT_EQ(ReadFile(FPath),
            "\xEF\xBB\xBF; halvoro window\r\n[Other]\r\nformwidth=1\r\n\r\n[CONFIG]\r\n"
            "FormWidth = 1300\r\n; user note\r\ncol3=13\r\nother=x\r\n"
            "formheight=700\r\nformleft=-41\r\nformtop=9\r\ncol0=10\r\ncol1=11\r\ncol2=12\r\n"
            "col4=14\r\ncol5=15\r\ncol6=16\r\ncol7=17\r\ncol8=18\r\ncol9=19\r\ncol10=20\r\n"
            "col11=21\r\n\r\n[last]\r\nz=1");
  EXPECT_EQ(LoadWindowSettings(FPath, 1920, 1080), settings);
}

struct RefusalCase {
  const char* name;
  void (*prepare)(const std::string& directory);  // before the old file is written
  void (*refuse)(const std::string& directory);   // after
};
void PrintTo(const RefusalCase& c, std::ostream* out) {
  *out << c.name;
}

void Nothing(const std::string&) {}
void MountTinyTmpfs(const std::string& directory) {
  MountTmpfs(directory, 16 * 1024);
}

class StoreRefusedTest : public ::testing::TestWithParam<RefusalCase> {};

// The child writes a first file, makes the file system refuse, stores other values, and reports
// the failure, its nested reason, whether the file still holds the first bytes, and what else
// the directory holds.
TEST_P(StoreRefusedTest, OldFileStaysByteIdenticalAndMessageNamesIt) {
  const RefusalCase& c = GetParam();
  TTempDirectory dir;
  const std::string path = dir.File("halvoro.ini");
  const TChildOutcome outcome = RunInPrivateMountNamespace([&] {
    c.prepare(dir.Path());
    StoreWindowSettings(path, FirstRun(407, 165));
    const std::string oldBytes = ReadFile(path);
    c.refuse(dir.Path());

    std::string report = "(no failure)";
    try {
      StoreWindowSettings(path, AllKeysFromFile());
    } catch (const std::runtime_error& e) {
      report = e.what();
      try {
        std::rethrow_if_nested(e);
        report += "\n(no reason)";
      } catch (const std::runtime_error& reason) {
        const bool namesFile = std::strstr(reason.what(), path.c_str()) != nullptr;
        report += std::string("\nreason names the file: ") + (namesFile ? "yes" : reason.what());
      }
    }
    report += "\n" + std::string(ReadFile(path) == oldBytes ? "old bytes" : "changed");
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
      const std::string name = entry.path().filename().string();
      if (name != "halvoro.ini" && name != "filler") report += "\nleft behind: " + name;
    }
    return report;
  });
  if (outcome.Status == TChildOutcome::TStatus::Unavailable) SKIP_OR_FAIL_IN_CI(outcome.Text);
  ASSERT_EQ(outcome.Status, TChildOutcome::TStatus::Finished) << outcome.Text;
  EXPECT_EQ(outcome.Text, "Unable to write to " + path + "\nreason names the file: yes\nold bytes");
}

INSTANTIATE_TEST_SUITE_P(
    FileSystems, StoreRefusedTest,
    ::testing::Values(RefusalCase{"ReadOnlyDirectory", Nothing, MountReadOnlyOnItself},
                      RefusalCase{"FullFileSystem", MountTinyTmpfs, FillFileSystem}),
    CaseName<RefusalCase>);

struct UnreadableCase {
  const char* name;
  void (*make)(const std::string& path);  // as root, in the test's directory
  bool dropPrivileges;                    // read and write as an unprivileged user
};
void PrintTo(const UnreadableCase& c, std::ostream* out) {
  *out << c.name;
}

void MakeDirectory(const std::string& path) {
  std::filesystem::create_directory(path);
  WriteFile(path + "/inside", "kept");
}

// Only root could read it; the directory lets anybody replace it.
void MakeFileOthersCannotRead(const std::string& path) {
  WriteFile(path, "[config]\nformwidth=1200\n");
  std::filesystem::permissions(path, std::filesystem::perms::owner_write);
  std::filesystem::permissions(std::filesystem::path(path).parent_path(),
                               std::filesystem::perms::all);
}

void DropToNobody() {
  if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
    throw TMountUnavailable(std::string("dropping privileges: ") + std::strerror(errno));
  }
}

// What the path holds, as root sees it.
std::string Snapshot(const std::string& path) {
  if (!std::filesystem::is_directory(path)) return "file: " + ReadFile(path);
  std::string text = "directory:";
  for (const auto& entry : std::filesystem::directory_iterator(path)) {
    text += " " + entry.path().filename().string() + "=" + ReadFile(entry.path().string());
  }
  return text;
}

class UnreadableFileTest : public ::testing::TestWithParam<UnreadableCase> {};

// Such a file is there, so a start takes the defaults of a file without keys; a close must not
// replace it by one holding only our keys.
TEST_P(UnreadableFileTest, LoadsFileDefaultsAndStoreFailsWithoutReplacingIt) {
  const UnreadableCase& c = GetParam();
  TTempDirectory dir;
  const std::string path = dir.File("halvoro.ini");
  c.make(path);
  const std::string before = Snapshot(path);
  const TChildOutcome outcome = RunInChild([&] {
    if (c.dropPrivileges) DropToNobody();
    std::string report = ToText(LoadWindowSettings(path, 1920, 1080)) + "\n";
    try {
      StoreWindowSettings(path, FirstRun(407, 165));
      report += "(no failure)";
    } catch (const std::runtime_error& e) {
      report += e.what();
    }
    return report;
  });
  if (outcome.Status == TChildOutcome::TStatus::Unavailable) SKIP_OR_FAIL_IN_CI(outcome.Text);
  ASSERT_EQ(outcome.Status, TChildOutcome::TStatus::Finished) << outcome.Text;
  EXPECT_EQ(outcome.Text, ToText(FileDefaults()) + "\nUnable to write to " + path);
  EXPECT_EQ(Snapshot(path), before);
}

INSTANTIATE_TEST_SUITE_P(Kinds, UnreadableFileTest,
                         ::testing::Values(UnreadableCase{"PathIsDirectory", MakeDirectory, false},
                                           UnreadableCase{"NoReadPermission",
                                                          MakeFileOthersCannotRead, true}),
                         CaseName<UnreadableCase>);

}  // namespace
