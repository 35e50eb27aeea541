#include <gtest/gtest.h>

#include "HostMatch.h"

namespace {

struct MatchCase {
  const char* a;
  const char* b;
  bool same;
};

class HostMatchTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(HostMatchTest, FoldsOnlyAsciiLetters) {
  const MatchCase& c = GetParam();
  EXPECT_EQ(SameHost(c.a, c.b), c.same) << '"' << c.a << "\" vs \"" << c.b << '"';
  EXPECT_EQ(SameHost(c.b, c.a), c.same) << "the rule is symmetric";
}

// The window compares UTF-16 texts with the same rule.
TEST(HostMatchUtf16, FoldsOnlyAsciiLetters) {
  EXPECT_TRUE(SameHost(u"Office", u"oFFICE"));
  EXPECT_FALSE(SameHost(u"\u00C41", u"\u00E41"));  // Ä1 / ä1
  EXPECT_FALSE(SameHost(u"\uFF21", u"\uFF41"));    // full-width A / a
  EXPECT_FALSE(SameHost(u"abc", u"abc "));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostMatchTest,
    ::testing::Values(MatchCase{"ABC", "abc", true},
                      MatchCase{"Host.Example", "hOST.eXAMPLE", true}, MatchCase{"", "", true},
                      MatchCase{"abc", "abc ", false}, MatchCase{"abc", " abc", false},
                      MatchCase{"\xC3\x84"
                                "1",
                                "\xC3\xA4"
                                "1",
                                false},                                  // Ä1 / ä1
                      MatchCase{"\xEF\xBC\xA1", "\xEF\xBD\x81", false},  // full-width A / a
                      MatchCase{"a-1_z", "A-1_Z", true},
                      MatchCase{"[", "{",
                                false},  // 0x5B and 0x7B differ by 0x20 but are no letters
                      MatchCase{"@", "`", false}));

}  // namespace
