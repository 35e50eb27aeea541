#include "FileReading.h"

#include <stdexcept>

#ifdef _WIN32
#include <windows.h>

#include <algorithm>

#include "UniqueHandle.h"
#include "WindowsText.h"

namespace {

[[noreturn]] void ThrowOpenFailure(const std::string& path, DWORD error) {
  throw std::runtime_error("Cannot open file \"" + path + "\". " + SystemErrorText(error));
}

}  // namespace

bool FileExists(const std::string& path) {
  if (GetFileAttributesW(WidenUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  // ERROR_DIRECTORY: a component of the path is a file, as ENOTDIR.
  const DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_DIRECTORY;
}

std::string ReadWholeFile(const std::string& path) {
  // Other programs may go on writing the file, or replace it, while it is read.
  const UniqueHandle file(CreateFileW(WidenUtf8(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) ThrowOpenFailure(path, GetLastError());
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) ThrowOpenFailure(path, GetLastError());

  // One buffer of the file's size; the loop only matters for a file that grows.
  std::string bytes(static_cast<std::size_t>(size.QuadPart) + 1, '\0');
  std::size_t filled = 0;
  while (true) {
    if (filled == bytes.size()) bytes.resize(bytes.size() * 2);
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - filled, 1u << 30));
    DWORD n = 0;
    if (!ReadFile(file.get(), bytes.data() + filled, chunk, &n, nullptr)) {
      ThrowOpenFailure(path, GetLastError());
    }
    if (n == 0) break;
    filled += n;
  }
  bytes.resize(filled);
  return bytes;
}

#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "UniqueFd.h"

namespace {

[[noreturn]] void ThrowOpenFailure(const std::string& path, int error) {
  throw std::runtime_error("Cannot open file \"" + path + "\". " + std::strerror(error));
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 || (errno != ENOENT && errno != ENOTDIR);
}

std::string ReadWholeFile(const std::string& path) {
  const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) ThrowOpenFailure(path, errno);
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) ThrowOpenFailure(path, errno);

  // One buffer of the file's size, filled by as few reads as the system allows; the loop only
  // matters for files that change size while being read.
  std::string bytes(static_cast<std::size_t>(info.st_size) + 1, '\0');
  std::size_t filled = 0;
  while (true) {
    if (filled == bytes.size()) bytes.resize(bytes.size() * 2);
    const ssize_t n = ::read(file.get(), bytes.data() + filled, bytes.size() - filled);
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
#endif
