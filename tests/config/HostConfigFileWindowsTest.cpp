// hostconfig.json on Windows: saved and loaded under a path outside ASCII, missing where the system
// says nothing is there, and the system's reason where it refuses.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "ConfigTestSupport.h"
#include "HostConfigManager.h"
#include "TempDirectory.h"
#include "WindowsFiles.h"
#include "WindowsText.h"

namespace {

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
    "    }\r\n"
    "]";

const std::vector<std::string> kExampleEntries = {"网关|192.0.2.1|1000|1000|true|密切关注"};

// The program's directory, as a user in China may well have it.
class HostConfigFileWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FDirW = WidePath(FTemp.Path()) + L"\\网络监控 工具";
    ASSERT_TRUE(CreateDirectoryW(FDirW.c_str(), nullptr));
    FPathW = FDirW + L"\\hostconfig.json";
    FPath = Utf8Path(FPathW);
  }

  TTempDirectory FTemp;
  std::wstring FDirW, FPathW;
  std::string FPath;
};

TEST_F(HostConfigFileWindowsTest, SavedFileIsTheExampleUnderTheUtf8Path) {
  THostConfigManager manager;
  manager.Add(Entry("网关", "192.0.2.1", 1000, 1000, true, "密切关注"));
  manager.SaveToFile(FPath);
  EXPECT_EQ(ReadFileW(FPathW), kExample);
  EXPECT_EQ(NamesIn(FDirW), std::vector<std::wstring>{L"hostconfig.json"});
}

TEST_F(HostConfigFileWindowsTest, FileUnderTheUtf8PathLoads) {
  WriteFileW(FPathW, kExample);
  THostConfigManager manager;
  EXPECT_EQ(manager.LoadFromFile(FPath), TLoadOutcome::Loaded);
  EXPECT_EQ(Describe(manager), kExampleEntries);
}

// An editor that keeps the file open for writing does not stop the program from reading it.
TEST_F(HostConfigFileWindowsTest, FileOpenInAnotherProgramLoads) {
  WriteFileW(FPathW, kExample);
  const auto editor = OpenW(FPathW, GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  THostConfigManager manager;
  EXPECT_EQ(LoadError(manager, FPath), "");
  EXPECT_EQ(Describe(manager), kExampleEntries);
}

TEST_F(HostConfigFileWindowsTest, MissingFileLeavesTheListAlone) {
  WriteFileW(FDirW + L"\\plain", "not a directory");
  for (const std::wstring& path : {FDirW + L"\\absent.json", FDirW + L"\\缺少\\hostconfig.json",
                                   FDirW + L"\\plain\\hostconfig.json"}) {
    THostConfigManager manager;
    manager.Add(Entry("网关", "192.0.2.1"));
    EXPECT_EQ(manager.LoadFromFile(Utf8Path(path)), TLoadOutcome::NoFile) << Utf8Path(path);
    EXPECT_EQ(manager.GetAll().size(), 1u);
  }
}

// The system's reason, in the user's language, after the path.
TEST_F(HostConfigFileWindowsTest, DirectoryCannotBeOpenedAndEmptiesTheList) {
  ASSERT_TRUE(CreateDirectoryW(FPathW.c_str(), nullptr));
  THostConfigManager manager;
  manager.Add(Entry("网关", "192.0.2.1"));
  EXPECT_EQ(LoadError(manager, FPath),
            "Cannot open file \"" + FPath + "\". " + SystemErrorText(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(manager.GetAll().empty());
}

TEST_F(HostConfigFileWindowsTest, FileLockedByAnotherProgramNamesFileAndReason) {
  WriteFileW(FPathW, kExample);
  const auto locker = OpenW(FPathW, GENERIC_READ, 0, OPEN_EXISTING);
  THostConfigManager manager;
  EXPECT_EQ(LoadError(manager, FPath),
            "Cannot open file \"" + FPath + "\". " + SystemErrorText(ERROR_SHARING_VIOLATION));
}

}  // namespace
