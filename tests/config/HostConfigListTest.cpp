#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "ConfigTestSupport.h"
#include "HostConfigManager.h"

namespace {

std::string Order(const THostConfigManager& manager) {
  std::string hosts;
  for (const THostConfig* entry : manager.GetAll()) hosts += entry->HostName();
  return hosts;
}

void AddFive(THostConfigManager& manager) {
  for (const char* host : {"A", "B", "C", "D", "E"}) manager.Add(Entry(host, host));
}

struct MoveCase {
  const char* name;
  std::function<bool(THostConfigManager&)> move;  // gives the move's result, true for the void ones
  bool result;
  const char* order;
};

void PrintTo(const MoveCase& c, std::ostream* out) {
  *out << c.name;
}

class HostConfigMoveTest : public ::testing::TestWithParam<MoveCase> {};

TEST_P(HostConfigMoveTest, MovesOneEntryAndKeepsTheOthersInOrder) {
  THostConfigManager manager;
  AddFive(manager);
  std::vector<THostConfig*> before = manager.GetAll();

  EXPECT_EQ(GetParam().move(manager), GetParam().result);
  EXPECT_EQ(Order(manager), GetParam().order);

  // A move neither creates nor destroys entries: the same objects are still held.
  std::vector<THostConfig*> after = manager.GetAll();
  std::sort(before.begin(), before.end());
  std::sort(after.begin(), after.end());
  EXPECT_EQ(before, after);
}

bool Done(const std::function<void()>& move) {
  move();
  return true;
}

INSTANTIATE_TEST_SUITE_P(
    OnFiveEntries, HostConfigMoveTest,
    ::testing::Values(
        MoveCase{"UpFromMiddle", [](auto& m) { return m.MoveUp("C"); }, true, "ACBDE"},
        MoveCase{"UpFromLast", [](auto& m) { return m.MoveUp("E"); }, true, "ABCED"},
        MoveCase{"UpWhenFirst", [](auto& m) { return m.MoveUp("A"); }, false, "ABCDE"},
        MoveCase{"UpFoldsAsciiCase", [](auto& m) { return m.MoveUp("c"); }, true, "ACBDE"},
        MoveCase{"UpUnknown", [](auto& m) { return m.MoveUp("X"); }, false, "ABCDE"},
        MoveCase{"DownFromMiddle", [](auto& m) { return m.MoveDown("D"); }, true, "ABCED"},
        MoveCase{"DownFromFirst", [](auto& m) { return m.MoveDown("A"); }, true, "BACDE"},
        MoveCase{"DownWhenLast", [](auto& m) { return m.MoveDown("E"); }, false, "ABCDE"},
        MoveCase{"DownUnknown", [](auto& m) { return m.MoveDown("X"); }, false, "ABCDE"},
        MoveCase{"ToFirstShiftsTheOthers",
                 [](auto& m) { return Done([&] { m.MoveToFirst("D"); }); }, true, "DABCE"},
        MoveCase{"ToFirstFromLast", [](auto& m) { return Done([&] { m.MoveToFirst("E"); }); }, true,
                 "EABCD"},
        MoveCase{"ToFirstWhenFirst", [](auto& m) { return Done([&] { m.MoveToFirst("A"); }); },
                 true, "ABCDE"},
        MoveCase{"ToFirstUnknown", [](auto& m) { return Done([&] { m.MoveToFirst("X"); }); }, true,
                 "ABCDE"},
        MoveCase{"ToLastShiftsTheOthers", [](auto& m) { return Done([&] { m.MoveToLast("B"); }); },
                 true, "ACDEB"},
        MoveCase{"ToLastFromFirst", [](auto& m) { return Done([&] { m.MoveToLast("A"); }); }, true,
                 "BCDEA"},
        MoveCase{"ToLastWhenLast", [](auto& m) { return Done([&] { m.MoveToLast("E"); }); }, true,
                 "ABCDE"},
        MoveCase{"ToLastUnknown", [](auto& m) { return Done([&] { m.MoveToLast("X"); }); }, true,
                 "ABCDE"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HostConfigListTest, EmptyListFindsNothingAndChangesNothing) {
  THostConfigManager manager;
  EXPECT_EQ(manager.Find("A"), nullptr);
  EXPECT_FALSE(manager.Remove("A"));
  EXPECT_FALSE(manager.Update("A", *Entry("m", "A")));
  EXPECT_EQ(manager.GetPosition("A"), -1);
  EXPECT_EQ(manager.FindIndexByHostName("A"), -1);
  EXPECT_FALSE(manager.MoveUp("A"));
  EXPECT_FALSE(manager.MoveDown("A"));
  manager.MoveToFirst("A");
  manager.MoveToLast("A");
  EXPECT_TRUE(manager.GetAll().empty());
}

TEST(HostConfigListTest, NullEntryIsIgnored) {
  THostConfigManager manager;
  manager.Add(Entry("a", "A"));
  manager.Add(nullptr);
  EXPECT_EQ(Order(manager), "A");
}

TEST(HostConfigListTest, LookupsFoldOnlyAsciiLetters) {
  THostConfigManager manager;
  manager.Add(Entry("latin", "Host.Example"));
  manager.Add(Entry("umlaut",
                    "\xC3\x84"
                    "1"));  // Ä1
  EXPECT_EQ(manager.GetPosition("hOST.eXAMPLE"), 0);
  EXPECT_EQ(manager.FindIndexByHostName("HOST.EXAMPLE"), 0);
  EXPECT_EQ(manager.Find("host.example "), nullptr);
  EXPECT_EQ(manager.Find("\xC3\xA4"
                         "1"),
            nullptr);  // ä1
  EXPECT_EQ(manager.GetPosition("\xC3\x84"
                                "1"),
            1);
}

TEST(HostConfigListTest, MatchingHostsAlwaysFindTheFirstAndRemoveOneAtATime) {
  THostConfigManager manager;
  manager.Add(Entry("other", "X"));
  manager.Add(Entry("first", "abc"));
  manager.Add(Entry("second", "ABC"));

  ASSERT_NE(manager.Find("Abc"), nullptr);
  EXPECT_EQ(manager.Find("Abc")->Memo(), "first");
  EXPECT_EQ(manager.FindIndexByHostName("Abc"), 1);
  EXPECT_EQ(manager.GetPosition("Abc"), 1);
  EXPECT_TRUE(manager.Update("Abc", *Entry("changed", "ignored", 5, 6, false, "g")));
  EXPECT_EQ(Describe(manager),
            (std::vector<std::string>{"other|X|1000|1000|true|关注", "changed|abc|5|6|false|g",
                                      "second|ABC|1000|1000|true|关注"}));

  EXPECT_TRUE(manager.Remove("aBC"));
  ASSERT_NE(manager.Find("abc"), nullptr);
  EXPECT_EQ(manager.Find("abc")->Memo(), "second");
  EXPECT_EQ(manager.GetPosition("abc"), 1);
  EXPECT_TRUE(manager.Remove("abc"));
  EXPECT_FALSE(manager.Remove("abc"));
  EXPECT_EQ(Order(manager), "X");
}

TEST(HostConfigListTest, UpdateKeepsTheStoredHostAndCopiesTheRest) {
  THostConfigManager manager;
  manager.Add(Entry("old", "Gateway", 1000, 1000, true, "关注"));
  const auto newConfig = Entry("新", "elsewhere", -1, 0, false, "");
  EXPECT_TRUE(manager.Update("GATEWAY", *newConfig));
  EXPECT_EQ(Describe(manager), std::vector<std::string>{"新|Gateway|-1|0|false|"});
  EXPECT_EQ(newConfig->HostName(), "elsewhere") << "NewConfig stays as the caller gave it";
  EXPECT_FALSE(manager.Update("elsewhere", *newConfig));
}

TEST(HostConfigListTest, UpdateWithTheEntryItselfChangesNothing) {
  THostConfigManager manager;
  manager.Add(Entry("a memo long enough to live on the heap", "A", 250, 750, true, "组"));
  const std::vector<std::string> before = Describe(manager);
  EXPECT_TRUE(manager.Update("A", *manager.Find("A")));
  EXPECT_EQ(Describe(manager), before);
}

TEST(HostConfigListTest, FoundEntryCanBeChangedInPlace) {
  THostConfigManager manager;
  AddFive(manager);
  ASSERT_NE(manager.Find("c"), nullptr);
  manager.Find("c")->SetMemo("edited");
  EXPECT_EQ(manager.GetAll()[2]->Memo(), "edited");
}

TEST(HostConfigListTest, GetAllIsASnapshot) {
  THostConfigManager manager;
  AddFive(manager);
  const std::vector<THostConfig*> snapshot = manager.GetAll();
  manager.Add(Entry("F", "F"));
  manager.MoveToFirst("E");
  manager.MoveDown("A");
  ASSERT_EQ(snapshot.size(), 5u);
  std::string hosts;
  for (const THostConfig* entry : snapshot) hosts += entry->HostName();
  EXPECT_EQ(hosts, "ABCDE");
  EXPECT_EQ(Order(manager), "EBACDF");
}

TEST(HostConfigListTest, ClearEmptiesTheList) {
  THostConfigManager manager;
  AddFive(manager);
  manager.Clear();
  EXPECT_TRUE(manager.GetAll().empty());
  EXPECT_EQ(manager.Find("A"), nullptr);
}

TEST(HostConfigListTest, ValuesAreStoredUnchecked) {
  THostConfigManager manager;
  manager.Add(Entry(" memo ", "", -5, -2147483647 - 1, false, " "));
  EXPECT_EQ(Describe(manager), std::vector<std::string>{" memo ||-5|-2147483648|false| "});
  EXPECT_EQ(manager.GetPosition(""), 0);
}

}  // namespace
