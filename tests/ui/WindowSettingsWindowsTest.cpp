// The window settings file on Windows, next to an executable in a folder outside ASCII: written
// with the system's CR LF, read back, and found by the system under the name the path spells.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TempDirectory.h"
#include "WindowSettings.h"
#include "WindowsFiles.h"

namespace {

class WindowSettingsWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FDirW = WidePath(FTemp.Path()) + L"\\网络监控 😀";
    ASSERT_TRUE(CreateDirectoryW(FDirW.c_str(), nullptr));
    FIniW = FDirW + L"\\halvoro.ini";
    FIni = SettingsPathFor(Utf8Path(FDirW + L"\\halvoro.exe"));
  }

  TTempDirectory FTemp;
  std::wstring FDirW, FIniW;
  std::string FIni;
};

TEST_F(WindowSettingsWindowsTest, FirstStoreWritesTheFileBesideTheExecutable) {
  ASSERT_EQ(FIni, Utf8Path(FIniW));
  const TWindowSettings first = LoadWindowSettings(FIni, 1920, 1080);
  EXPECT_EQ(first.FormLeft, 407);
  EXPECT_EQ(first.ColumnWidths[0], 150);
  StoreWindowSettings(FIni, first);
  const std::string text = ReadFileW(FIniW);
  EXPECT_EQ(text.rfind("[config]\r\nformwidth=1106\r\nformheight=750\r\nformleft=407\r\n", 0), 0u)
      << text;
  EXPECT_EQ(NamesIn(FDirW), std::vector<std::wstring>{L"halvoro.ini"});
}

TEST_F(WindowSettingsWindowsTest, StoredValuesAreReadBackAndTheRestOfTheFileKept) {
  WriteFileW(FIniW, "; 用户的注释\r\n[CONFIG]\r\nformwidth=0x500\r\n");
  TWindowSettings settings = LoadWindowSettings(FIni, 1024, 768);
  EXPECT_EQ(settings.FormWidth, 1280);
  EXPECT_EQ(settings.FormLeft, -41);
  EXPECT_EQ(settings.ColumnWidths[3], 200);
  settings.ColumnWidths[3] = 80;
  StoreWindowSettings(FIni, settings);
  EXPECT_EQ(LoadWindowSettings(FIni, 1024, 768), settings);
  const std::string text = ReadFileW(FIniW);
  EXPECT_EQ(text.rfind("; 用户的注释\r\n[CONFIG]\r\nformwidth=1280\r\nformheight=750\r\n", 0), 0u)
      << text;
  EXPECT_NE(text.find("\r\ncol3=80\r\n"), std::string::npos) << text;
}

}  // namespace
