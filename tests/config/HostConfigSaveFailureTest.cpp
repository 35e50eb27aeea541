// A save that the file system refuses, for real: in a private mount namespace the directory is
// made read-only, or the file lives on a tiny tmpfs that is full.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "ConfigTestSupport.h"
#include "HostConfigManager.h"
#include "MountNamespace.h"
#include "TempDirectory.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void Nothing(const std::string&) {}
void MountTinyTmpfs(const std::string& directory) {
  MountTmpfs(directory, 16 * 1024);
}

struct RefusalCase {
  const char* name;
  const char* reason;
  void (*prepare)(const std::string& directory);  // before the old file is written
  void (*refuse)(const std::string& directory);   // after
};

void PrintTo(const RefusalCase& c, std::ostream* out) {
  *out << c.name;
}

class HostConfigSaveFailureTest : public ::testing::TestWithParam<RefusalCase> {};

// The child saves a first list, makes the file system refuse, saves a longer list, and reports
// the failure, whether the file still holds the first list's bytes, and whether the list itself
// is unchanged.
TEST_P(HostConfigSaveFailureTest, OldFileStaysByteIdenticalAndErrorNamesIt) {
  const RefusalCase& c = GetParam();
  TTempDirectory dir;
  const std::string path = dir.File("hostconfig.json");
  const TChildOutcome outcome = RunInPrivateMountNamespace([&] {
    c.prepare(dir.Path());
    THostConfigManager manager;
    manager.Add(Entry("网关", "192.0.2.1"));
    manager.SaveToFile(path);
    const std::string oldBytes = ReadFile(path);
    c.refuse(dir.Path());

    for (int i = 0; i < 100; ++i) manager.Add(Entry(std::string(100, 'm'), std::to_string(i)));
    const std::vector<std::string> listBefore = Describe(manager);
    std::string error = "(no failure)";
    try {
      manager.SaveToFile(path);
    } catch (const std::runtime_error& e) {
      error = e.what();
    }
    return error + "\n" + (ReadFile(path) == oldBytes ? "old bytes" : "changed") + "\n" +
           (Describe(manager) == listBefore ? "list kept" : "list changed");
  });
  if (outcome.Status == TChildOutcome::TStatus::Unavailable) SKIP_OR_FAIL_IN_CI(outcome.Text);
  ASSERT_EQ(outcome.Status, TChildOutcome::TStatus::Finished) << outcome.Text;
  EXPECT_EQ(outcome.Text,
            "Cannot create file \"" + path + "\". " + c.reason + "\nold bytes\nlist kept");
}

INSTANTIATE_TEST_SUITE_P(Refusals, HostConfigSaveFailureTest,
                         ::testing::Values(RefusalCase{"ReadOnlyDirectory", "Read-only file system",
                                                       Nothing, MountReadOnlyOnItself},
                                           RefusalCase{"FullDisk", "No space left on device",
                                                       MountTinyTmpfs, FillFileSystem}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
