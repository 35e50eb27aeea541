#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Diagnostics.h"

namespace {

TEST(HexUpper, WritesUpperCaseDigitsWithoutLeadingZeros) {
  EXPECT_EQ(HexUpper(0), "0");
  EXPECT_EQ(HexUpper(255), "FF");
  EXPECT_EQ(HexUpper(11010), "2B02");
  EXPECT_EQ(HexUpper(0xFFFFFFFFu), "FFFFFFFF");
}

TEST(DiagnosticChannel, SinkReceivesLinesAndCanBeRemoved) {
  std::vector<std::string> lines;
  SetDiagnosticSink([&](std::string_view line) { lines.emplace_back(line); });
  DebugOutput("已添加监控目标: a (1.2.3.4) IPv4");
  SetDiagnosticSink({});
  EXPECT_EQ(lines, std::vector<std::string>{"已添加监控目标: a (1.2.3.4) IPv4"});
}

}  // namespace
