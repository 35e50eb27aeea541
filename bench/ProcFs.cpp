#include "ProcFs.h"

#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string Path(pid_t pid, const char* leaf) {
  return "/proc/" + std::to_string(pid) + "/" + leaf;
}

int64_t KiBField(const std::string& line) {
  std::istringstream in(line.substr(line.find(':') + 1));
  int64_t value = 0;
  in >> value;
  return value;
}

}  // namespace

TProcessStatus ReadStatus(pid_t pid) {
  TProcessStatus status;
  std::ifstream in(Path(pid, "status"));
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("VmRSS:", 0) == 0) status.rssKiB = KiBField(line);
    if (line.rfind("VmHWM:", 0) == 0) status.peakRssKiB = KiBField(line);
    if (line.rfind("Threads:", 0) == 0) status.threads = static_cast<int>(KiBField(line));
  }
  return status;
}

int CountOpenFds(pid_t pid) {
  DIR* dir = ::opendir(Path(pid, "fd").c_str());
  if (dir == nullptr) return 0;
  int count = 0;
  while (const dirent* entry = ::readdir(dir)) count += entry->d_name[0] != '.';
  ::closedir(dir);
  return count;
}

double ProcessCpuSeconds(pid_t pid) {
  std::ifstream in(Path(pid, "stat"));
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');  // the command name may hold spaces and parentheses
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  // Fields 3..13 come first; utime and stime are fields 14 and 15.
  for (int i = 3; i <= 13; ++i) fields >> field;
  long long user = 0, system = 0;
  fields >> user >> system;
  return static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double ThreadCpuSeconds(pid_t pid, pid_t tid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/schedstat");
  long long ns = 0;
  in >> ns;
  return static_cast<double>(ns) / 1e9;
}
