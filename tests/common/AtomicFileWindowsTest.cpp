// The one-step file replacement on Windows: UTF-8 paths reach the system as the names they spell,
// and what the system refuses leaves the old file and no temporary file behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "AtomicFile.h"
#include "TempDirectory.h"
#include "WindowsFiles.h"
#include "WindowsText.h"

namespace {

std::string ErrorOf(const std::string& path, const std::string& bytes) {
  try {
    WriteFileAtomically(path, bytes);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}

// A directory whose name is outside ASCII, and partly outside any 8-bit code page: a path that
// went through an ANSI function would name another directory or none.
class AtomicFileWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FDirW = WidePath(FTemp.Path()) + L"\\配置 目录 ½ 😀";
    ASSERT_TRUE(CreateDirectoryW(FDirW.c_str(), nullptr));
    FPathW = FDirW + L"\\hostconfig.json";
    FPath = Utf8Path(FPathW);
  }

  TTempDirectory FTemp;
  std::wstring FDirW, FPathW;
  std::string FPath;
};

TEST_F(AtomicFileWindowsTest, WritesExactBytesUnderTheNameTheUtf8PathSpells) {
  const std::string bytes("a\0b\r\n\xEF\xBB\xBF", 8);
  WriteFileAtomically(FPath, bytes);
  EXPECT_EQ(ReadFileW(FPathW), bytes);
  EXPECT_EQ(NamesIn(FDirW), std::vector<std::wstring>{L"hostconfig.json"});
}

TEST_F(AtomicFileWindowsTest, ReplacesLongerFileWhole) {
  WriteFileW(FPathW, std::string(10000, 'o'));
  WriteFileAtomically(FPath, "new");
  EXPECT_EQ(ReadFileW(FPathW), "new");
  WriteFileAtomically(FPath, "");
  EXPECT_EQ(ReadFileW(FPathW), "");
  EXPECT_EQ(NamesIn(FDirW), std::vector<std::wstring>{L"hostconfig.json"});
}

// How the system refuses, set up after the old file was written.
struct RefusalCase {
  const char* name;
  std::vector<DWORD> errors;  // the reasons the message may give
  void (*refuse)(const std::wstring& path, UniqueHandle& holder);
};

void PrintTo(const RefusalCase& c, std::ostream* out) {
  *out << c.name;
}

class AtomicFileWindowsRefusalTest : public AtomicFileWindowsTest,
                                     public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(AtomicFileWindowsRefusalTest, LeavesOldFileAndNoTemporaryFile) {
  const RefusalCase& c = GetParam();
  const std::string oldBytes = "old content\r\n";
  WriteFileW(FPathW, oldBytes);
  UniqueHandle holder;
  c.refuse(FPathW, holder);
  const std::string error = ErrorOf(FPath, std::string(20000, 'n'));
  std::vector<std::string> expected;
  for (const DWORD reason : c.errors) {
    expected.push_back("Cannot create file \"" + FPath + "\". " + SystemErrorText(reason));
  }
  EXPECT_NE(std::find(expected.begin(), expected.end(), error), expected.end()) << error;
  holder = UniqueHandle();  // let go of the file before reading it back
  SetFileAttributesW(FPathW.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadFileW(FPathW), oldBytes);
  EXPECT_EQ(NamesIn(FDirW), std::vector<std::wstring>{L"hostconfig.json"});
}

INSTANTIATE_TEST_SUITE_P(Refusals, AtomicFileWindowsRefusalTest,
                         ::testing::Values(
                             // Another program holds the file open without letting it be replaced;
                             // versions of the system differ in the reason they give.
                             RefusalCase{
                                 "HeldWithoutDeleteSharing",
                                 {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION},
                                 [](const std::wstring& path, UniqueHandle& holder) {
                                   holder =
                                       OpenW(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
                                 }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AtomicFileWindowsTest, MissingDirectoryNamesFileAndReason) {
  const std::string path = Utf8Path(FDirW + L"\\缺少\\hostconfig.json");
  EXPECT_EQ(ErrorOf(path, "x"),
            "Cannot create file \"" + path + "\". " + SystemErrorText(ERROR_PATH_NOT_FOUND));
}

TEST_F(AtomicFileWindowsTest, DirectoryInTheWayStaysAndLeavesNoTemporaryFile) {
  ASSERT_TRUE(CreateDirectoryW(FPathW.c_str(), nullptr));
  WriteFileW(FPathW + L"\\inside", "kept");
  EXPECT_EQ(ErrorOf(FPath, "x"),
            "Cannot create file \"" + FPath + "\". " + SystemErrorText(ERROR_ACCESS_DENIED));
  EXPECT_EQ(ReadFileW(FPathW + L"\\inside"), "kept");
  EXPECT_EQ(NamesIn(FDirW), std::vector<std::wstring>{L"hostconfig.json"});
}

}  // namespace
