#include "SocketLibrary.h"

#ifdef _WIN32
#include <winsock2.h>

#include <stdexcept>

TSocketLibrary::TSocketLibrary() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("Winsock初始化失败");
}
TSocketLibrary::~TSocketLibrary() {
  WSACleanup();
}
#else
#include <sys/resource.h>

TSocketLibrary::TSocketLibrary() {
  // A probe holds a descriptor while it waits, so a thousand hosts that never answer keep a
  // thousand open at once: the usual soft limit of 1024 would leave none for the rest of the
  // program, saving the configuration included. Nothing here uses select(), so any number of
  // descriptors is safe.
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}
TSocketLibrary::~TSocketLibrary() = default;
#endif
