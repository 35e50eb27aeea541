#include "FileReading.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

[[noreturn]] void ThrowOpenFailure(const std::string& path, int error) {
  throw std::runtime_error("Cannot open file \"" + path + "\". " + std::strerror(error));
}

class TFileDescriptor {
 public:
  explicit TFileDescriptor(int fd) : FFd(fd) {}
  ~TFileDescriptor() {
    if (FFd >= 0) ::close(FFd);
  }
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;
  int Get() const { return FFd; }

 private:
  int FFd;
};

}  // namespace

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 || (errno != ENOENT && errno != ENOTDIR);
}

std::string ReadWholeFile(const std::string& path) {
  const TFileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.Get() < 0) ThrowOpenFailure(path, errno);
  struct stat info {};
  if (::fstat(file.Get(), &info) != 0) ThrowOpenFailure(path, errno);

  // One buffer of the file's size, filled by as few reads as the system allows; the loop only
  // matters for files that change size while being read.
  std::string bytes(static_cast<std::size_t>(info.st_size) + 1, '\0');
  std::size_t filled = 0;
  while (true) {
    if (filled == bytes.size()) bytes.resize(bytes.size() * 2);
    const ssize_t n = ::read(file.Get(), bytes.data() + filled, bytes.size() - filled);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowOpenFailure(path, errno);
    }
    if (n == 0) break;
    filled += static_cast<std::size_t>(n);
  }
  bytes.resize(filled);
  return bytes;
}
