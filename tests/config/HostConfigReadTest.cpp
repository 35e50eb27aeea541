// Reading the configuration file: conversions, defaults, element kinds, syntax and encoding.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "ConfigTestSupport.h"
#include "HostConfigManager.h"

namespace {

using namespace std::string_literals;

const std::string kBom = "\xEF\xBB\xBF";
const std::string kMapping =
    "No mapping for the Unicode character exists in the target multi-byte code page";

// An expected entry; unnamed fields are the file's defaults.
struct Expect {
  std::string memo = "";
  std::string host = "";
  int32_t frequency = 1000;
  int32_t delay = 1000;
  bool notify = false;
  std::string group = "关注";

  std::string Line() const {
    return Describe(THostConfig(memo, host, frequency, delay, notify, group));
  }
};

struct ReadCase {
  const char* name;
  std::string bytes;
  std::vector<Expect> entries;
  std::string error;  // empty: no failure
};

void PrintTo(const ReadCase& c, std::ostream* out) {
  *out << c.name;
}

std::string One(const std::string& members) {
  return "[{" + members + "}]";
}

class HostConfigReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(HostConfigReadTest, GivesTheseEntriesAndThisFailure) {
  const ReadCase& c = GetParam();
  THostConfigManager manager;
  manager.Add(Entry("stale", "stale"));  // a load replaces whatever the list held
  std::string error;
  try {
    manager.LoadFromBytes(c.bytes);
  } catch (const std::runtime_error& e) {
    error = e.what();
  }
  EXPECT_EQ(error, c.error);
  std::vector<std::string> expected;
  for (const Expect& entry : c.entries) expected.push_back(entry.Line());
  EXPECT_EQ(Describe(manager), expected);
}

std::string CaseName(const ::testing::TestParamInfo<ReadCase>& info) {
  return info.param.name;
}

std::string NotInteger(const std::string& text) {
  return "'" + text + "' is not a valid integer value";
}
std::string NotBoolean(const std::string& text) {
  return "'" + text + "' is not a valid boolean value";
}
std::string Unsupported(const char* from, const char* to) {
  return "Conversion from "s + from + " to " + to + " is not supported";
}

INSTANTIATE_TEST_SUITE_P(
    TextFields, HostConfigReadTest,
    ::testing::Values(
        ReadCase{"String", One(R"("memo": "网关")"), {{.memo = "网关"}}, ""},
        ReadCase{"NumberKeepsItsText",
                 One(R"("memo": 12.50, "hostname": -0E+3)"),
                 {{.memo = "12.50", .host = "-0E+3"}},
                 ""},
        ReadCase{"TrueAndFalseAreWords",
                 One(R"("memo": true, "groupname": false)"),
                 {{.memo = "true", .group = "false"}},
                 ""},
        ReadCase{"EmptyGroupStaysEmpty", One(R"("groupname": "")"), {{.group = ""}}, ""},
        ReadCase{"ObjectFails", One(R"("memo": {})"), {}, Unsupported("object", "string")},
        ReadCase{"ArrayFails", One(R"("hostname": [1])"), {}, Unsupported("array", "string")},
        ReadCase{"GroupObjectFails",
                 One(R"("groupname": {"a": 1})"),
                 {},
                 Unsupported("object", "string")}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    IntegerFields, HostConfigReadTest,
    ::testing::Values(
        ReadCase{"TextHoldingInteger",
                 One(R"("frequency": "250", "delay": "-5")"),
                 {{.frequency = 250, .delay = -5}},
                 ""},
        ReadCase{"LeadingZerosInText", One(R"("frequency": "007")"), {{.frequency = 7}}, ""},
        ReadCase{"Limits",
                 One(R"("frequency": 2147483647, "delay": -2147483648)"),
                 {{.frequency = 2147483647, .delay = -2147483647 - 1}},
                 ""},
        ReadCase{"TrueIsOneFalseIsZero",
                 One(R"("frequency": true, "delay": false)"),
                 {{.frequency = 1, .delay = 0}},
                 ""},
        ReadCase{"Fraction", One(R"("frequency": 1.5)"), {}, NotInteger("1.5")},
        ReadCase{"WholeFraction", One(R"("delay": 1.0)"), {}, NotInteger("1.0")},
        ReadCase{"Exponent", One(R"("frequency": 1e3)"), {}, NotInteger("1e3")},
        ReadCase{"AboveRange", One(R"("frequency": 2147483648)"), {}, NotInteger("2147483648")},
        ReadCase{"BelowRange", One(R"("delay": -2147483649)"), {}, NotInteger("-2147483649")},
        ReadCase{"TextAboveRange", One(R"("delay": "2147483648")"), {}, NotInteger("2147483648")},
        ReadCase{"Word", One(R"("frequency": "abc")"), {}, NotInteger("abc")},
        ReadCase{"EmptyText", One(R"("frequency": "")"), {}, NotInteger("")},
        ReadCase{"BlankInText", One(R"("frequency": " 1")"), {}, NotInteger(" 1")},
        ReadCase{"PlusInText", One(R"("frequency": "+1")"), {}, NotInteger("+1")},
        ReadCase{"HexInText", One(R"("frequency": "0x10")"), {}, NotInteger("0x10")},
        ReadCase{"ObjectFails", One(R"("frequency": {})"), {}, Unsupported("object", "Integer")},
        ReadCase{"ArrayFails", One(R"("delay": [])"), {}, Unsupported("array", "Integer")}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    BooleanField, HostConfigReadTest,
    ::testing::Values(
        ReadCase{"Literals",
                 R"([{"notify": true}, {"notify": false}])",
                 {{.notify = true}, {.notify = false}},
                 ""},
        ReadCase{"NumbersNonZeroIsTrue",
                 R"([{"notify": 1}, {"notify": 0}, {"notify": -2}, {"notify": -0.0e5},
                     {"notify": 1e-400}])",
                 {{.notify = true},
                  {.notify = false},
                  {.notify = true},
                  {.notify = false},
                  {.notify = true}},
                 ""},
        ReadCase{"TextHoldingNumber",
                 R"([{"notify": "1"}, {"notify": "0"}, {"notify": "0.5"}, {"notify": "-0"}])",
                 {{.notify = true}, {.notify = false}, {.notify = true}, {.notify = false}},
                 ""},
        ReadCase{"WordsInAnyLetterCase",
                 R"([{"notify": "FALSE"}, {"notify": "tRuE"}, {"notify": "false"}])",
                 {{.notify = false}, {.notify = true}, {.notify = false}},
                 ""},
        ReadCase{"OtherWordFails", One(R"("notify": "yes")"), {}, NotBoolean("yes")},
        ReadCase{"EmptyTextFails", One(R"("notify": "")"), {}, NotBoolean("")},
        ReadCase{"ObjectFails", One(R"("notify": {})"), {}, Unsupported("object", "Boolean")},
        ReadCase{"ArrayFails", One(R"("notify": [true])"), {}, Unsupported("array", "Boolean")}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Keys, HostConfigReadTest,
    ::testing::Values(
        ReadCase{"EmptyObjectTakesDefaults", "[{}]", {{}}, ""},
        ReadCase{"NullsTakeDefaults",
                 One(R"("memo": null, "hostname": null, "frequency": null, "delay": null,
                        "notify": null, "groupname": null)"),
                 {{}},
                 ""},
        ReadCase{"AnyPairOrder",
                 One(R"("groupname": "g", "notify": true, "delay": 2, "frequency": 3,
                        "hostname": "h", "memo": "m")"),
                 {{"m", "h", 3, 2, true, "g"}},
                 ""},
        ReadCase{"KeysAreCaseSensitive",
                 One(R"("HostName": "h", "Memo": "m", "FREQUENCY": 5)"),
                 {{}},
                 ""},
        ReadCase{"OtherKeysIgnoredWhateverTheyHold",
                 One(R"("extra": {}, "hostname": "h")"),
                 {{.host = "h"}},
                 ""},
        ReadCase{"EscapedKeyMatches", One(R"("m\u0065mo": "x")"), {{.memo = "x"}}, ""},
        ReadCase{"FirstOccurrenceCounts",
                 One(R"("memo": "first", "memo": "second")"),
                 {{.memo = "first"}},
                 ""},
        ReadCase{
            "FirstOccurrenceCountsWhenNull", One(R"("memo": null, "memo": "second")"), {{}}, ""},
        ReadCase{
            "LaterBadOccurrenceIgnored", One(R"("delay": 5, "delay": {})"), {{.delay = 5}}, ""},
        ReadCase{"FirstBadValueInReadingOrderFails",
                 One(R"("memo": {}, "notify": [], "delay": "x", "frequency": 1)"),
                 {},
                 NotInteger("x")},
        ReadCase{"HostnameIsReadFirst",
                 One(R"("frequency": {}, "hostname": [])"),
                 {},
                 Unsupported("array", "string")}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Elements, HostConfigReadTest,
    ::testing::Values(
        ReadCase{"OnlyObjectsBecomeEntries", R"([1, "x", null, [], {}])", {{}}, ""},
        ReadCase{"ObjectsInsideNestedArraysAreSkipped",
                 R"([[{"memo": {}}], {"memo": "kept"}])",
                 {{.memo = "kept"}},
                 ""},
        ReadCase{"EmptyArray", "[]", {}, ""},
        ReadCase{"EmptyArrayWithBomAndLineBreak", kBom + "[]\r\n", {}, ""},
        ReadCase{"WhiteSpaceAround", " \t\r\n[ {\"memo\" : \"m\" } ]\n ", {{.memo = "m"}}, ""},
        ReadCase{"ObjectIsNoArray", R"({"memo": "x"})", {}, "Invalid class typecast"},
        ReadCase{"ObjectWithBomIsNoArray", kBom + "{}", {}, "Invalid class typecast"},
        ReadCase{"NumberIsNoArray", "5", {}, "Invalid class typecast"},
        ReadCase{"StringIsNoArray", R"("[]")", {}, "Invalid class typecast"},
        ReadCase{"NullIsNoArray", "null", {}, "Invalid class typecast"},
        ReadCase{"FailureAtThirdOfFiveKeepsTwo",
                 R"([{"memo": "1"}, {"memo": "2"}, {"delay": {}}, {"memo": "4"}, {"memo": "5"}])",
                 {{.memo = "1"}, {.memo = "2"}},
                 Unsupported("object", "Integer")},
        ReadCase{"SyntaxErrorAfterBadValueMeansNoFailure",
                 R"([{"memo": "1"}, {"delay": {}}, {"memo": "3"} x])",
                 {},
                 ""},
        ReadCase{
            "TruncatedAfterBadValueMeansNoFailure", R"([{"memo": "1"}, {"delay": {}}, )", {}, ""}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    NotJson, HostConfigReadTest,
    ::testing::Values(
        ReadCase{"Empty", "", {}, ""}, ReadCase{"BomOnly", kBom, {}, ""},
        ReadCase{"WhiteSpaceOnly", " \r\n\t", {}, ""}, ReadCase{"Unclosed", "[{}", {}, ""},
        ReadCase{"TrailingComma", "[{},]", {}, ""}, ReadCase{"LeadingComma", "[,{}]", {}, ""},
        ReadCase{"TrailingCommaInObject", R"([{"memo": "x",}])", {}, ""},
        ReadCase{"TextAfterValue", "[] x", {}, ""}, ReadCase{"TwoValues", "[] []", {}, ""},
        ReadCase{"LeadingZero", "[01]", {}, ""}, ReadCase{"BareMinus", "[-]", {}, ""},
        ReadCase{"PointWithoutDigits", "[1.]", {}, ""}, ReadCase{"PlusSign", "[+1]", {}, ""},
        ReadCase{"EmptyExponent", "[1e]", {}, ""}, ReadCase{"Hex", "[0x1]", {}, ""},
        ReadCase{"NaN", "[NaN]", {}, ""}, ReadCase{"UpperCaseLiteral", "[True]", {}, ""},
        ReadCase{"SingleQuotes", "['x']", {}, ""},
        ReadCase{"UnknownEscape", One(R"("memo": "\x41")"), {}, ""},
        ReadCase{"ShortUnicodeEscape", R"(["\u12"])", {}, ""},
        ReadCase{"BadHexInSurrogatePair", R"(["\ud83d\uZZZZ"])", {}, ""},
        ReadCase{"UnclosedString", R"([{"memo": "x}])", {}, ""},
        ReadCase{"MissingColon", R"([{"memo" "x"}])", {}, ""},
        ReadCase{"UnquotedKey", R"([{memo: "x"}])", {}, ""},
        ReadCase{"Comment", "[] // none", {}, ""},
        ReadCase{"VerticalTabIsNoWhiteSpace", "[\v]", {}, ""},
        ReadCase{"NoBreakSpaceIsNoWhiteSpace", "\xC2\xA0[]", {}, ""},
        ReadCase{"SecondBom", kBom + kBom + "[]", {}, ""},
        ReadCase{"NulOutsideString", "[\0]"s, {}, ""},
        ReadCase{"TooDeep", std::string(600, '[') + std::string(600, ']'), {}, ""}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Strings, HostConfigReadTest,
    ::testing::Values(
        ReadCase{
            "Escapes", One(R"("memo": "\"\\\/\b\f\n\r\t")"), {{.memo = "\"\\/\b\f\n\r\t"}}, ""},
        ReadCase{"UnicodeEscapes",
                 One(R"("memo": "\u0041\u00e9\u4E2D\ud83d\ude00")"),
                 {{.memo = "A\xC3\xA9中😀"}},
                 ""},
        ReadCase{"LoneSurrogatesBecomeReplacementCharacters",
                 One(R"("memo": "\ud800x\udc00\ud83d\u0041\udbff\ud800")"),
                 {{.memo = "\uFFFDx\uFFFD\uFFFDA\uFFFD\uFFFD"}},
                 ""},
        ReadCase{"EscapedNul", One(R"("memo": "a\u0000b")"), {{.memo = "a\0b"s}}, ""},
        ReadCase{"RawControlCharacters",
                 One("\"memo\": \"\x01\x1F\t\n\r\0\x7F\""s),
                 {{.memo = "\x01\x1F\t\n\r\0\x7F"s}},
                 ""},
        ReadCase{"RawUtf8", One(R"("memo": "中文 😀 Ä")"), {{.memo = "中文 😀 Ä"}}, ""}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Encoding, HostConfigReadTest,
    ::testing::Values(ReadCase{"InvalidByte", "[\"\xFF\"]", {}, kMapping},
                      ReadCase{"InvalidBeatsSyntaxError", "\xFF not json", {}, kMapping},
                      ReadCase{"Overlong", "[\"\xC0\x80\"]", {}, kMapping},
                      ReadCase{"OverlongThreeBytes", "[\"\xE0\x80\xAF\"]", {}, kMapping},
                      ReadCase{"EncodedSurrogate", "[\"\xED\xA0\x80\"]", {}, kMapping},
                      ReadCase{"BeyondUnicode", "[\"\xF4\x90\x80\x80\"]", {}, kMapping},
                      ReadCase{"TruncatedAtEnd", "[]\xE4\xB8", {}, kMapping},
                      ReadCase{"LoneContinuation", "[\"\x80\"]", {}, kMapping},
                      ReadCase{"Utf16File", "\xFF\xFE[\0]\0"s, {}, kMapping},
                      ReadCase{"WholeFileCheckedFirst",
                               "[{\"memo\": \"ok\"}, {\"memo\": \"\xFF\"}]",
                               {},
                               kMapping},
                      ReadCase{"LargestCodePoint",
                               "[{\"memo\": \"\xF4\x8F\xBF\xBF\"}]",
                               {{.memo = "\xF4\x8F\xBF\xBF"}},
                               ""}),
    CaseName);

}  // namespace
