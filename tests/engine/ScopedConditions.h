#pragma once

#include <linux/capability.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>

// Takes CAP_NET_RAW out of the calling thread's effective set, so raw ICMP sockets fail with
// EPERM for it and for the threads it starts meanwhile; the permitted set keeps it, so the
// destructor can give it back.
class ScopedNoRawSockets {
 public:
  ScopedNoRawSockets() {
    Get();
    saved_[0] = data_[0];
    data_[0].effective &= ~(1u << CAP_NET_RAW);
    Set();
  }
  ~ScopedNoRawSockets() {
    data_[0] = saved_[0];
    Set();
  }

 private:
  void Get() {
    if (syscall(SYS_capget, &header_, data_) != 0) throw std::runtime_error("capget failed");
  }
  void Set() {
    if (syscall(SYS_capset, &header_, data_) != 0) throw std::runtime_error("capset failed");
  }
  __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data_[2]{};
  __user_cap_data_struct saved_[1]{};
};

// Lays a hosts file with the given lines over /etc/hosts for the life of the object. Only for
// processes in their own mount namespace.
class ScopedHostsFile {
 public:
  explicit ScopedHostsFile(const std::string& lines) {
    char path[] = "/tmp/halvoro-hosts-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    close(fd);
    path_ = path;
    std::ofstream(path_) << "127.0.0.1 localhost\n" << lines;
    if (mount(path_.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) != 0) {
      std::remove(path_.c_str());
      throw std::runtime_error("cannot bind-mount a hosts file");
    }
  }
  ~ScopedHostsFile() {
    umount2("/etc/hosts", MNT_DETACH);
    std::remove(path_.c_str());
  }
  ScopedHostsFile(const ScopedHostsFile&) = delete;
  ScopedHostsFile& operator=(const ScopedHostsFile&) = delete;

 private:
  std::string path_;
};
