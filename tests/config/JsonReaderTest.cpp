#include <gtest/gtest.h>

#include "JsonReader.h"
#include "JsonValue.h"
#include "JsonWriter.h"

namespace {

std::string Nested(int depth, char open, char close, const std::string& inner) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += open == '{' ? "{\"k\":" : std::string(1, open);
  text += inner;
  return text + std::string(static_cast<std::size_t>(depth), close);
}

TEST(JsonReaderTest, NestingUpToTheLimitReadsAndOneMoreDoesNot) {
  EXPECT_TRUE(ParseJson(Nested(kMaxJsonDepth, '[', ']', "")));
  EXPECT_FALSE(ParseJson(Nested(kMaxJsonDepth + 1, '[', ']', "")));
  EXPECT_TRUE(ParseJson(Nested(kMaxJsonDepth, '{', '}', "1")));
  EXPECT_FALSE(ParseJson(Nested(kMaxJsonDepth + 1, '{', '}', "1")));
  EXPECT_FALSE(ParseJson(Nested(kMaxJsonDepth + 1, '[', ']', "")));
}

TEST(JsonReaderTest, SkippedElementsObeyTheSameLimit) {
  const auto read = [](const std::string& text) {
    return ReadJsonArrayObjects(text, [](const TJsonValue&) {});
  };
  EXPECT_EQ(read(Nested(kMaxJsonDepth, '[', ']', "")), TJsonArrayRead::Array);
  EXPECT_EQ(read(Nested(kMaxJsonDepth + 1, '[', ']', "")), TJsonArrayRead::NotJson);
  EXPECT_EQ(read("[" + Nested(kMaxJsonDepth - 1, '{', '}', "1") + "]"), TJsonArrayRead::Array);
  EXPECT_EQ(read("[" + Nested(kMaxJsonDepth, '{', '}', "1") + "]"), TJsonArrayRead::NotJson);
  EXPECT_EQ(read(Nested(kMaxJsonDepth + 1, '{', '}', "1")), TJsonArrayRead::NotJson);
}

TEST(JsonReaderTest, ObjectKeepsMembersInOrderAndFindsTheFirst) {
  const auto value = ParseJson(R"({"b": 1, "a": 2.50, "b": -0e1})");
  ASSERT_TRUE(value);
  ASSERT_EQ(value->Members().size(), 3u);
  EXPECT_EQ(value->Members()[2].Key, "b");
  EXPECT_EQ(value->Members()[2].Value.Text(), "-0e1");
  EXPECT_EQ(value->Find("b")->Text(), "1");
  EXPECT_EQ(value->Find("a")->Text(), "2.50");
  EXPECT_EQ(value->Find("c"), nullptr);
}

TEST(JsonReaderTest, ArrayReadHandsOverObjectsOnlyInOrder) {
  std::string seen;
  const auto read =
      ReadJsonArrayObjects(R"([{"n": "1"}, 2, [{"n": "x"}], {"n": "3"}, null])",
                           [&](const TJsonValue& object) { seen += object.Find("n")->Text(); });
  EXPECT_EQ(read, TJsonArrayRead::Array);
  EXPECT_EQ(seen, "13");
  EXPECT_EQ(ReadJsonArrayObjects(" {} ", [](const TJsonValue&) {}), TJsonArrayRead::NotArray);
  EXPECT_EQ(ReadJsonArrayObjects("{} {}", [](const TJsonValue&) {}), TJsonArrayRead::NotJson);
}

TEST(JsonWriterTest, NestedValuesIndentFourBlanksALevel) {
  const auto value = ParseJson(R"({"a": [1, {}, []], "b": null})");
  ASSERT_TRUE(value);
  EXPECT_EQ(WriteJson(*value),
            "{\r\n"
            "    \"a\": [\r\n"
            "        1,\r\n"
            "        {\r\n"
            "        },\r\n"
            "        [\r\n"
            "        ]\r\n"
            "    ],\r\n"
            "    \"b\": null\r\n"
            "}");
}

}  // namespace
