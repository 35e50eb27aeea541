// The diagnostic channel on Linux: standard error, one whole line per write.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "Diagnostics.h"

namespace {

// Standard error of this process goes to a file while threads write long lines at once.
TEST(DiagnosticChannel, LinesFromManyThreadsArriveWhole) {
  char path[] = "/tmp/halvoro-diag-XXXXXX";
  const int file = mkstemp(path);
  ASSERT_GE(file, 0);
  const int savedStderr = dup(STDERR_FILENO);
  ASSERT_EQ(dup2(file, STDERR_FILENO), STDERR_FILENO);

  constexpr int kThreads = 8, kLines = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      const std::string line = "线程" + std::to_string(t) + ":" + std::string(3000, char('a' + t));
      for (int i = 0; i < kLines; ++i) DebugOutput(line);
    });
  }
  for (auto& t : threads) t.join();
  dup2(savedStderr, STDERR_FILENO);
  close(savedStderr);
  close(file);

  std::ifstream in(path);
  std::string line;
  int count = 0;
  while (std::getline(in, line)) {
    ++count;
    ASSERT_GE(line.size(), 3000u);
    const char fill = line.back();
    const std::string expected =
        "线程" + std::to_string(fill - 'a') + ":" + std::string(3000, fill);
    ASSERT_EQ(line, expected) << "line " << count << " was interleaved";
  }
  unlink(path);
  EXPECT_EQ(count, kThreads * kLines);
}

}  // namespace
