// A save that the file system refuses, for real: in a private mount namespace the directory is
// made read-only, or the file lives on a tiny tmpfs that is full.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
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

namespace {

// Two running copies of the program save into one directory at the same time: whoever reads the
// file sees one complete save of either, never a mix or a cut-off file.
TEST(HostConfigConcurrentSaves, FileIsAlwaysOneCompleteSave) {
  TTempDirectory directory;
  const std::string path = directory.File("hostconfig.json");
  std::vector<std::string> saves;
  for (int copy = 0; copy < 2; ++copy) {
    THostConfigManager manager;
    for (int i = 0; i < 200; ++i) {
      manager.Add(std::make_unique<THostConfig>("copy " + std::to_string(copy),
                                                "192.0.2." + std::to_string(i), 1000 + copy, 1000,
                                                copy == 0, "g"));
    }
    saves.push_back(manager.SaveToBytes());
  }
  std::vector<pid_t> writers;
  for (int copy = 0; copy < 2; ++copy) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      THostConfigManager manager;
      manager.LoadFromBytes(saves[static_cast<std::size_t>(copy)]);
      for (int round = 0; round < 300; ++round) manager.SaveToFile(path);
      _exit(0);
    }
    writers.push_back(pid);
  }
  int reads = 0;
  for (bool running = true; running;) {
    running = false;
    for (const pid_t pid : writers) running |= waitpid(pid, nullptr, WNOHANG) == 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) continue;  // before the first save
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    ++reads;
    ASSERT_TRUE(bytes == saves[0] || bytes == saves[1])
        << "read " << reads << " saw " << bytes.size() << " bytes of a mix";
  }
  for (const pid_t pid : writers) waitpid(pid, nullptr, 0);
  EXPECT_GT(reads, 10);
  // No temporary file is left behind.
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory.Path())) {
    ++files;
  }
  EXPECT_EQ(files, 1u);
}

}  // namespace
