#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "AtomicFile.h"
#include "MountNamespace.h"
#include "TempDirectory.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void PutFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Names in `directory` besides the file and the disk filler: a leftover temporary file shows
// up here.
std::string LeftoverNames(const std::string& directory) {
  std::string names;
  for (const auto& item : std::filesystem::directory_iterator(directory)) {
    const std::string name = item.path().filename().string();
    if (name != "hostconfig.json" && name != "filler") names += name + " ";
  }
  return names;
}

std::string ErrorOf(const std::string& path, const std::string& bytes) {
  try {
    WriteFileAtomically(path, bytes);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}

class AtomicFileTest : public ::testing::Test {
 protected:
  TTempDirectory FDir;
  std::string FPath = FDir.File("hostconfig.json");
};

TEST_F(AtomicFileTest, WritesExactBytesToNewFile) {
  const std::string bytes("a\0b\r\n\xEF\xBB\xBF", 8);
  WriteFileAtomically(FPath, bytes);
  EXPECT_EQ(ReadFile(FPath), bytes);
  EXPECT_EQ(LeftoverNames(FDir.Path()), "");
}

TEST_F(AtomicFileTest, ReplacesLongerFileWhole) {
  PutFile(FPath, std::string(10000, 'o'));
  WriteFileAtomically(FPath, "new");
  EXPECT_EQ(ReadFile(FPath), "new");
  WriteFileAtomically(FPath, "");
  EXPECT_EQ(ReadFile(FPath), "");
}

TEST_F(AtomicFileTest, KeepsPermissionsOfReplacedFile) {
  PutFile(FPath, "old");
  ASSERT_EQ(::chmod(FPath.c_str(), 0640), 0);
  WriteFileAtomically(FPath, "new");
  struct stat info {};
  ASSERT_EQ(::stat(FPath.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(AtomicFileTest, MissingDirectoryNamesFileAndReason) {
  const std::string path = FDir.File("missing/hostconfig.json");
  EXPECT_EQ(ErrorOf(path, "x"), "Cannot create file \"" + path + "\". No such file or directory");
}

TEST_F(AtomicFileTest, DirectoryInTheWayStaysAndLeavesNoTemporaryFile) {
  std::filesystem::create_directory(FPath);
  PutFile(FPath + "/inside", "kept");
  EXPECT_EQ(ErrorOf(FPath, "x"), "Cannot create file \"" + FPath + "\". Is a directory");
  EXPECT_EQ(ReadFile(FPath + "/inside"), "kept");
  EXPECT_EQ(LeftoverNames(FDir.Path()), "");
}

void Nothing(const std::string&) {}
void MountTinyTmpfs(const std::string& directory) {
  MountTmpfs(directory, 16 * 1024);
}

// How the file system refuses the write, set up inside the private mount namespace.
struct RefusalCase {
  const char* name;
  const char* reason;                             // strerror of the expected failure
  void (*prepare)(const std::string& directory);  // before the old file is written
  void (*refuse)(const std::string& directory);   // after
};

void PrintTo(const RefusalCase& c, std::ostream* out) {
  *out << c.name;
}

class AtomicFileRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

// The child writes the old file, makes the file system refuse, tries the replacement and reports
// the error, whether the old bytes survived, and any names left beside the file.
TEST_P(AtomicFileRefusalTest, LeavesOldFileAndNoTemporaryFile) {
  const RefusalCase& c = GetParam();
  TTempDirectory dir;
  const std::string path = dir.File("hostconfig.json");
  const std::string oldBytes = "old content\r\n";
  const TChildOutcome outcome = RunInPrivateMountNamespace([&] {
    c.prepare(dir.Path());
    PutFile(path, oldBytes);
    c.refuse(dir.Path());
    const std::string error = ErrorOf(path, std::string(20000, 'n'));
    return error + "\n" + (ReadFile(path) == oldBytes ? "intact" : "changed") + "\n" +
           LeftoverNames(dir.Path());
  });
  if (outcome.Status == TChildOutcome::TStatus::Unavailable) SKIP_OR_FAIL_IN_CI(outcome.Text);
  ASSERT_EQ(outcome.Status, TChildOutcome::TStatus::Finished) << outcome.Text;
  EXPECT_EQ(outcome.Text, "Cannot create file \"" + path + "\". " + c.reason + "\nintact\n");
}

INSTANTIATE_TEST_SUITE_P(Refusals, AtomicFileRefusalTest,
                         ::testing::Values(RefusalCase{"ReadOnlyDirectory", "Read-only file system",
                                                       Nothing, MountReadOnlyOnItself},
                                           RefusalCase{"FullDisk", "No space left on device",
                                                       MountTinyTmpfs, FillFileSystem}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
