// The settings file's INI text: what reads, what a write changes, and that nothing else changes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "IniFile.h"
#include "IniRoundTrip.h"

namespace {

const std::string kBom = "\xEF\xBB\xBF";
const std::string kNewFileBreak(kIniDefaultLineBreak);

std::string AllByteValues() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  return bytes;
}

template <typename T>
std::string CaseName(const ::testing::TestParamInfo<T>& info) {
  return info.param.name;
}

struct RenderCase {
  std::string name;
  std::string text;
};
void PrintTo(const RenderCase& c, std::ostream* out) {
  *out << c.name;
}

class IniRenderTest : public ::testing::TestWithParam<RenderCase> {};

TEST_P(IniRenderTest, UntouchedTextRendersByteForByte) {
  EXPECT_EQ(TIniFile(GetParam().text).Render(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Texts, IniRenderTest,
                         ::testing::ValuesIn(std::vector<RenderCase>{
                             {"Empty", ""},
                             {"Lf", "[config]\nformwidth=1\n"},
                             {"CrLf", "[config]\r\nformwidth=1\r\n"},
                             {"MixedBreaksAndLoneCr", "a\r\nb\nc\rd\r\r\n\n"},
                             {"NoFinalBreak", "[config]\nformwidth=1"},
                             {"CutShortCrLf", "[config]\r\nformwidth=1\r"},
                             {"OnlyByteOrderMark", kBom},
                             {"ByteOrderMarkTwice", kBom + kBom + "[config]\n"},
                             {"NulAndBinary", std::string("[con\0fig]\n", 10) + AllByteValues()},
                             {"VeryLongLine", "k=" + std::string(1 << 20, 'v') + "\n"},
                         }),
                         CaseName<RenderCase>);

struct ReadCase {
  std::string name;
  std::string text;
  std::string section;
  std::string key;
  std::string expected;
};
void PrintTo(const ReadCase& c, std::ostream* out) {
  *out << c.name;
}

class IniReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(IniReadTest, ReadsFirstMatchingKeyOfFirstMatchingSection) {
  const ReadCase& c = GetParam();
  EXPECT_EQ(TIniFile(c.text).ReadString(c.section, c.key, "(default)"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IniReadTest,
    ::testing::ValuesIn(std::vector<ReadCase>{
        {"Plain", "[config]\nformwidth=1200\n", "config", "formwidth", "1200"},
        {"LetterCaseOfNames", "[CONFIG]\nFormWidth=1200\n", "config", "formwidth", "1200"},
        {"BlanksAroundEverything", " \t[ config ]\t\n\t formwidth \t= \t12 00 \t\n", "config",
         "formwidth", "12 00"},
        {"CrLfIsNoPartOfValue", "[config]\r\nformwidth=1200\r\n", "config", "formwidth", "1200"},
        {"CutShortCrLfIsNoPartOfValue", "[config]\r\nformwidth=1200\r", "config", "formwidth",
         "1200"},
        {"NoFinalBreak", "[config]\nformwidth=1200", "config", "formwidth", "1200"},
        {"AfterByteOrderMark", kBom + "[config]\nformwidth=1200\n", "config", "formwidth", "1200"},
        {"EmptyValue", "[config]\nformwidth=\n", "config", "formwidth", ""},
        {"EqualsInValue", "[config]\nformwidth=a=b\n", "config", "formwidth", "a=b"},
        {"NulInValue", std::string("[config]\nk=a\0b\n", 14), "config", "k",
         std::string("a\0b", 3)},
        {"FirstSectionCounts", "[config]\na=1\n[CONFIG]\nformwidth=2\n", "config", "formwidth",
         "(default)"},
        {"FirstKeyCounts", "[config]\nFORMWIDTH=1\nformwidth=2\n", "config", "formwidth", "1"},
        {"KeyOfOtherSection", "[other]\nformwidth=1\n[config]\n", "config", "formwidth",
         "(default)"},
        {"KeyBeforeAnySection", "formwidth=1\n[config]\n", "config", "formwidth", "(default)"},
        {"CommentedOut", "[config]\n;formwidth=1\n# formwidth=2\n", "config", "formwidth",
         "(default)"},
        {"TextAfterHeaderIgnored", "[config] ; window\nformwidth=1\n", "config", "formwidth", "1"},
        {"UnclosedHeaderIsNoSection", "[config\nformwidth=1\n", "config", "formwidth", "(default)"},
        {"OnlyAsciiLettersFold", "[CONFIGÄ]\nk=1\n", "configä", "k", "(default)"},
        {"PrefixIsNoMatch", "[config]\nformwidth2=1\n", "config", "formwidth", "(default)"},
        {"MissingSection", "", "config", "formwidth", "(default)"},
    }),
    CaseName<ReadCase>);

struct WriteCase {
  std::string name;
  std::string before;
  std::string key;
  std::string value;
  std::string after;
};
void PrintTo(const WriteCase& c, std::ostream* out) {
  *out << c.name;
}

class IniWriteTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(IniWriteTest, ChangesOnlyTheValueOrAddsOneLine) {
  const WriteCase& c = GetParam();
  TIniFile ini(c.before);
  ini.WriteString("config", c.key, c.value);
  EXPECT_EQ(ini.Render(), c.after);
  EXPECT_EQ(TIniFile(c.after).ReadString("config", c.key, "(default)"), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IniWriteTest,
    ::testing::ValuesIn(std::vector<WriteCase>{
        {"ValueReplacedInPlace",
         "; mine\r\n[Other]\r\nb = 2\r\n[Config]\r\n  FormWidth =  1200 \t\r\n", "formwidth",
         "1300", "; mine\r\n[Other]\r\nb = 2\r\n[Config]\r\n  FormWidth =  1300 \t\r\n"},
        {"EmptyValueFilledAfterEquals", "[config]\nk=  \n", "k", "5", "[config]\nk=5  \n"},
        {"OnlyFirstKeyReplaced", "[config]\nk=1\nK=2\n", "k", "5", "[config]\nk=5\nK=2\n"},
        {"OnlyFirstSectionChanged", "[config]\na=1\n[config]\nk=2\n", "k", "5",
         "[config]\na=1\nk=5\n[config]\nk=2\n"},
        {"KeyAddedAfterLastKeyOfItsSection", "[config]\na=1\n; end\n\n[other]\nb=2\n", "k", "5",
         "[config]\na=1\nk=5\n; end\n\n[other]\nb=2\n"},
        {"KeyAddedAfterHeaderOfKeylessSection", "[config]\n;k=1\n[other]\n", "k", "5",
         "[config]\nk=5\n;k=1\n[other]\n"},
        {"KeyAddedAtEndWithoutFinalBreak", "[config]\r\na=1", "k", "5",
         "[config]\r\na=1\r\nk=5\r\n"},
        {"CutShortCrLfCompleted", "[config]\r\na=1\r", "k", "5", "[config]\r\na=1\r\nk=5\r\n"},
        {"SectionAddedAtEnd", "[other]\r\nformwidth=1\r\n", "formwidth", "5",
         "[other]\r\nformwidth=1\r\n[config]\r\nformwidth=5\r\n"},
        {"SectionAddedAfterLastLineWithoutBreak", "[other]\nb=2", "k", "5",
         "[other]\nb=2\n[config]\nk=5\n"},
        {"KeyBeforeAnySectionUntouched", "k=1\n", "k", "5", "k=1\n[config]\nk=5\n"},
        {"FirstLineBreakSetsStyle", "; a\r\n; b\n", "k", "5", "; a\r\n; b\n[config]\r\nk=5\r\n"},
        {"EmptyText", "", "k", "5", "[config]" + kNewFileBreak + "k=5" + kNewFileBreak},
        {"NoBreakToCopy", "; c", "k", "5",
         "; c" + kNewFileBreak + "[config]" + kNewFileBreak + "k=5" + kNewFileBreak},
        {"ByteOrderMarkKept", kBom, "k", "5",
         kBom + "[config]" + kNewFileBreak + "k=5" + kNewFileBreak},
        {"BinaryLinesKept", "[config]\n" + AllByteValues() + "\nk=1\n", "k", "-7",
         "[config]\n" + AllByteValues() + "\nk=-7\n"},
    }),
    CaseName<WriteCase>);

struct RejectedCase {
  std::string name;
  std::string section;
  std::string key;
  std::string value;
};
void PrintTo(const RejectedCase& c, std::ostream* out) {
  *out << c.name;
}

class IniRejectedWriteTest : public ::testing::TestWithParam<RejectedCase> {};

// Such a write would add lines, or a key that never reads back.
TEST_P(IniRejectedWriteTest, ThrowsAndLeavesTextAlone) {
  const RejectedCase& c = GetParam();
  const std::string text = "[config]\nk=1\n";
  TIniFile ini(text);
  EXPECT_THROW(ini.WriteString(c.section, c.key, c.value), std::invalid_argument);
  EXPECT_EQ(ini.Render(), text);
}

INSTANTIATE_TEST_SUITE_P(Names, IniRejectedWriteTest,
                         ::testing::ValuesIn(std::vector<RejectedCase>{
                             {"EmptySection", "", "k", "1"},
                             {"BracketInSection", "a]b", "k", "1"},
                             {"BlankAroundSection", " config", "k", "1"},
                             {"BreakInSection", "con\nfig", "k", "1"},
                             {"EmptyKey", "config", "", "1"},
                             {"EqualsInKey", "config", "k=j", "1"},
                             {"CommentKey", "config", ";k", "1"},
                             {"HeaderLikeKey", "config", "[k]", "1"},
                             {"CrInKey", "config", "k\r", "1"},
                             {"LineBreakInValue", "config", "k", "1\n[x]"},
                             {"BlankAroundValue", "config", "k", " 1"},
                         }),
                         CaseName<RejectedCase>);

TEST(IniFileTest, VeryLongValueIsReplacedAndRestKept) {
  const std::string longLine = "note=" + std::string(1 << 20, 'x');
  TIniFile ini("[config]\n" + longLine + "\nk=" + std::string(1 << 20, '7') + "\n");
  ini.WriteString("config", "k", "1");
  EXPECT_EQ(ini.Render(), "[config]\n" + longLine + "\nk=1\n");
}

// Every seed of the fuzz corpus, replayed in every build.
TEST(IniCorpusReplayTest, EverySeedRoundTrips) {
  std::size_t seeds = 0;
  for (const auto& item : std::filesystem::directory_iterator(HALVORO_INI_CORPUS)) {
    std::ifstream in(item.path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    EXPECT_EQ(CheckIniRoundTrip(bytes.str()), "") << item.path();
    ++seeds;
  }
  EXPECT_GT(seeds, 0u) << "no seeds in " << HALVORO_INI_CORPUS;
}

}  // namespace
