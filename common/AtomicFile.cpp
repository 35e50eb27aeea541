#include "AtomicFile.h"

#include <atomic>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>

#include <algorithm>

#include "UniqueHandle.h"
#include "WindowsText.h"

namespace {

std::string CreateFailure(const std::string& path, DWORD error) {
  return "Cannot create file \"" + path + "\". " + SystemErrorText(error);
}

// Owns the temporary file until it has been moved into place.
class TempFile {
 public:
  explicit TempFile(const std::wstring& target) {
    static std::atomic<unsigned> counter{0};
    // Unique per process and call, so two running copies never share a temporary file.
    name_ = target + L".tmp" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter);
    handle_ = UniqueHandle(CreateFileW(name_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  ~TempFile() {
    handle_ = UniqueHandle();  // a file still open cannot be deleted
    if (!committed_) DeleteFileW(name_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  HANDLE handle() const { return handle_.get(); }
  const std::wstring& name() const { return name_; }
  bool Close() { return handle_.Close(); }
  void Committed() { committed_ = true; }

 private:
  std::wstring name_;
  UniqueHandle handle_;
  bool committed_ = false;
};

bool WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

}  // namespace

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
  const std::wstring target = WidenUtf8(path);
  TempFile temp(target);
  if (temp.handle() == INVALID_HANDLE_VALUE) {
    throw std::runtime_error(CreateFailure(path, GetLastError()));
  }
  if (!WriteAll(temp.handle(), bytes) || !FlushFileBuffers(temp.handle())) {
    throw std::runtime_error(CreateFailure(path, GetLastError()));
  }
  if (!temp.Close()) throw std::runtime_error(CreateFailure(path, GetLastError()));
  // Write-through: the call returns once the move itself is on disk.
  if (!MoveFileExW(temp.name().c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw std::runtime_error(CreateFailure(path, GetLastError()));
  }
  temp.Committed();
}

#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "UniqueFd.h"

namespace {

std::string CreateFailure(const std::string& path, int error) {
  return "Cannot create file \"" + path + "\". " + std::strerror(error);
}

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Owns the temporary file until it has been renamed into place.
class TempFile {
 public:
  explicit TempFile(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    // Unique per process and call, so two running copies never share a temporary file.
    name_ = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    fd_ = UniqueFd(::open(name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  }
  ~TempFile() {
    if (!committed_) ::unlink(name_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int fd() const { return fd_.get(); }
  const std::string& name() const { return name_; }
  bool Close() { return fd_.Close(); }
  void Committed() { committed_ = true; }

 private:
  std::string name_;
  UniqueFd fd_;
  bool committed_ = false;
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
  TempFile temp(path);
  if (temp.fd() < 0) throw std::runtime_error(CreateFailure(path, errno));

  struct stat old {};
  if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(temp.fd(), old.st_mode & 07777);  // keep the permissions the user gave the file
  }
  if (!WriteAll(temp.fd(), bytes) || ::fsync(temp.fd()) != 0) {
    throw std::runtime_error(CreateFailure(path, errno));
  }
  if (!temp.Close()) throw std::runtime_error(CreateFailure(path, errno));
  if (::rename(temp.name().c_str(), path.c_str()) != 0) {
    throw std::runtime_error(CreateFailure(path, errno));
  }
  temp.Committed();

  // Make the rename itself durable; the new content is already in place if this fails.
  const UniqueFd dir(::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir) ::fsync(dir.get());
}
#endif
