// Writing the configuration file, round trips, and the file itself: missing, unreadable, large.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "ConfigTestSupport.h"
#include "HostConfigManager.h"
#include "MountNamespace.h"
#include "TempDirectory.h"

namespace {

using namespace std::string_literals;

const std::string kExample =
    "\xEF\xBB\xBF"
    "[\r\n"
    "    {\r\n"
    "        \"memo\": \"网关\",\r\n"
    "        \"hostname\": \"192.0.2.1\",\r\n"
    "        \"frequency\": 1000,\r\n"
    "        \"delay\": 1000,\r\n"
    "        \"notify\": true,\r\n"
    "        \"groupname\": \"密切关注\"\r\n"
    "    },\r\n"
    "    {\r\n"
    "        \"memo\": \"备用线路\",\r\n"
    "        \"hostname\": \"2001:db8::1\",\r\n"
    "        \"frequency\": 2000,\r\n"
    "        \"delay\": 1000,\r\n"
    "        \"notify\": false,\r\n"
    "        \"groupname\": \"关注\"\r\n"
    "    }\r\n"
    "]";

void AddExample(THostConfigManager& manager) {
  manager.Add(Entry("网关", "192.0.2.1", 1000, 1000, true, "密切关注"));
  manager.Add(Entry("备用线路", "2001:db8::1", 2000, 1000, false, "关注"));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void PutFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class HostConfigFileTest : public ::testing::Test {
 protected:
  TTempDirectory FDir;
  std::string FPath = FDir.File("hostconfig.json");
};

TEST_F(HostConfigFileTest, ExampleIsWrittenByteForByte) {
  THostConfigManager manager;
  AddExample(manager);
  manager.SaveToFile(FPath);
  EXPECT_EQ(ReadFile(FPath), kExample);
}

TEST_F(HostConfigFileTest, EmptyListIsBomAndTwoBrackets) {
  THostConfigManager manager;
  manager.SaveToFile(FPath);
  EXPECT_EQ(ReadFile(FPath), "\xEF\xBB\xBF[\r\n]");
}

TEST_F(HostConfigFileTest, SaveReplacesAnExistingFileWhole) {
  PutFile(FPath, std::string(5000, ' ') + "[]");
  THostConfigManager manager;
  manager.SaveToFile(FPath);
  EXPECT_EQ(ReadFile(FPath), "\xEF\xBB\xBF[\r\n]");
}

TEST_F(HostConfigFileTest, ExampleReadsWithAndWithoutBom) {
  for (const std::string& bytes : {kExample, kExample.substr(3), kExample + "\r\n"}) {
    PutFile(FPath, bytes);
    THostConfigManager manager;
    manager.LoadFromFile(FPath);
    EXPECT_EQ(Describe(manager),
              (std::vector<std::string>{"网关|192.0.2.1|1000|1000|true|密切关注",
                                        "备用线路|2001:db8::1|2000|1000|false|关注"}));
  }
}

TEST(HostConfigWriteTest, StringsUseTheEightEscapesAndRawUtf8) {
  THostConfigManager manager;
  manager.Add(Entry("\"\\/\b\t\n\f\r", "\x01\x1F\x7F"s + '\0' + "中😀", 1, 2, true, "a/b"));
  const std::string bytes = manager.SaveToBytes();
  EXPECT_NE(bytes.find(R"("memo": "\"\\\/\b\t\n\f\r",)"), std::string::npos) << bytes;
  EXPECT_NE(bytes.find("\"hostname\": \"\x01\x1F\x7F"s + '\0' + "中😀\","), std::string::npos)
      << bytes;
  EXPECT_NE(bytes.find(R"("groupname": "a\/b")"), std::string::npos) << bytes;
  EXPECT_EQ(bytes.find("\\u"), std::string::npos) << bytes;
}

TEST(HostConfigWriteTest, NumbersAreDecimalWithMinusSign) {
  THostConfigManager manager;
  manager.Add(Entry("", "", -1, -2147483647 - 1, false, ""));
  manager.Add(Entry("", "", 2147483647, 0, false, ""));
  const std::string bytes = manager.SaveToBytes();
  EXPECT_NE(bytes.find("\"frequency\": -1,\r\n        \"delay\": -2147483648,"), std::string::npos)
      << bytes;
  EXPECT_NE(bytes.find("\"frequency\": 2147483647,\r\n        \"delay\": 0,"), std::string::npos)
      << bytes;
}

// Texts are UTF-8 by convention; should a caller break it, the file must still read back.
TEST(HostConfigWriteTest, InvalidUtf8IsWrittenAsReplacementCharacter) {
  THostConfigManager manager;
  manager.Add(
      Entry("a\xFF"
            "b\xE4\xB8",
            "h"));
  THostConfigManager reread;
  reread.LoadFromBytes(manager.SaveToBytes());
  ASSERT_EQ(reread.GetAll().size(), 1u);
  EXPECT_EQ(reread.GetAll()[0]->Memo(),
            "a\uFFFD"
            "b\uFFFD\uFFFD");
}

TEST_F(HostConfigFileTest, AwkwardValuesSurviveSaveAndLoad) {
  THostConfigManager manager;
  manager.Add(Entry("a/b \"quoted\" back\\slash", "192.0.2.1", 1000, 1000, true, "关注"));
  manager.Add(Entry("\b\t\n\f\r", "\x01", -1, 0, false, ""));
  manager.Add(Entry("\x01\x02\x1F\x7F"s + '\0' + "end", "host\0zero"s, 2147483647, -2147483647 - 1,
                    true, "\t"));
  manager.Add(Entry("中文备注", "例子.测试", -2147483647 - 1, 2147483647, false, "密切关注"));
  manager.Add(Entry("😀🇨🇳", "2001:db8::1", 0, -0, true, "😀"));
  manager.Add(Entry("", "", 0, 0, false, ""));
  manager.Add(Entry("\\u0041 is not an escape here", "[]{}:,", 1, 1, true, "null"));
  manager.SaveToFile(FPath);

  THostConfigManager reread;
  reread.Add(Entry("stale", "stale"));
  reread.LoadFromFile(FPath);
  EXPECT_EQ(Describe(reread), Describe(manager));
  EXPECT_EQ(reread.SaveToBytes(), ReadFile(FPath));
}

TEST_F(HostConfigFileTest, MissingFileLeavesTheListAlone) {
  PutFile(FDir.File("plain"), "not a directory");
  for (const std::string& path : {FDir.File("absent.json"), FDir.File("plain/hostconfig.json")}) {
    THostConfigManager manager;
    AddExample(manager);
    EXPECT_EQ(LoadError(manager, path), "") << path;
    EXPECT_EQ(manager.GetAll().size(), 2u) << path;
  }
}

TEST_F(HostConfigFileTest, DirectoryCannotBeOpenedAndEmptiesTheList) {
  std::filesystem::create_directory(FPath);
  THostConfigManager manager;
  AddExample(manager);
  EXPECT_EQ(LoadError(manager, FPath), "Cannot open file \"" + FPath + "\". Is a directory");
  EXPECT_TRUE(manager.GetAll().empty());
}

TEST_F(HostConfigFileTest, DirectoryInTheWayOfSaveStays) {
  std::filesystem::create_directory(FPath);
  THostConfigManager manager;
  AddExample(manager);
  try {
    manager.SaveToFile(FPath);
    ADD_FAILURE() << "saving onto a directory succeeded";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + FPath + "\". Is a directory");
  }
  EXPECT_TRUE(std::filesystem::is_directory(FPath));
  EXPECT_EQ(manager.GetAll().size(), 2u);
}

// Root reads every file, so the load runs in a child that has given up root.
TEST_F(HostConfigFileTest, UnreadableFileNamesFileAndReason) {
  PutFile(FPath, kExample);
  ASSERT_EQ(::chmod(FDir.Path().c_str(), 0755), 0);  // so that only the file's own mode refuses
  ASSERT_EQ(::chmod(FPath.c_str(), 0), 0);
  const TChildOutcome outcome = RunInChild([&] {
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      throw TMountUnavailable("cannot give up root: "s + std::strerror(errno));
    }
    THostConfigManager manager;
    AddExample(manager);
    const std::string error = LoadError(manager, FPath);
    return error + "\n" + std::to_string(manager.GetAll().size());
  });
  if (outcome.Status == TChildOutcome::TStatus::Unavailable) SKIP_OR_FAIL_IN_CI(outcome.Text);
  ASSERT_EQ(outcome.Status, TChildOutcome::TStatus::Finished) << outcome.Text;
  EXPECT_EQ(outcome.Text, "Cannot open file \"" + FPath + "\". Permission denied\n0");
}

TEST_F(HostConfigFileTest, LoadTellsAMissingFileAndTextThatIsNotJson) {
  THostConfigManager manager;
  EXPECT_EQ(manager.LoadFromFile(FDir.File("absent.json")), TLoadOutcome::NoFile);
  for (const auto& [bytes, outcome] :
       std::vector<std::pair<std::string, TLoadOutcome>>{{"", TLoadOutcome::NotJson},
                                                         {"\xEF\xBB\xBF", TLoadOutcome::NotJson},
                                                         {"[{}", TLoadOutcome::NotJson},
                                                         {"[]", TLoadOutcome::Loaded},
                                                         {kExample, TLoadOutcome::Loaded}}) {
    PutFile(FPath, bytes);
    EXPECT_EQ(manager.LoadFromFile(FPath), outcome) << bytes;
  }
}

TEST_F(HostConfigFileTest, MillionOpeningBracketsReadAsNoJson) {
  PutFile(FPath, std::string(1'000'000, '['));
  THostConfigManager manager;
  manager.Add(Entry("stale", "stale"));
  EXPECT_EQ(LoadError(manager, FPath), "");
  EXPECT_TRUE(manager.GetAll().empty());
}

TEST_F(HostConfigFileTest, FiftyMegabyteFileLoads) {
  THostConfigManager manager;
  const std::string memo(1000, 'm');
  for (int i = 0; i < 50'000; ++i) manager.Add(Entry(memo, "host" + std::to_string(i), i));
  manager.Add(Entry(std::string(1'000'000, 'x'), "last"));
  manager.SaveToFile(FPath);
  ASSERT_GT(std::filesystem::file_size(FPath), 50'000'000u);

  THostConfigManager reread;
  reread.LoadFromFile(FPath);
  ASSERT_EQ(reread.GetAll().size(), 50'001u);
  EXPECT_EQ(reread.GetAll()[49'999]->HostName(), "host49999");
  EXPECT_EQ(reread.GetAll()[49'999]->SendFrequency(), 49'999);
  EXPECT_EQ(reread.GetAll()[50'000]->Memo().size(), 1'000'000u);
}

}  // namespace
