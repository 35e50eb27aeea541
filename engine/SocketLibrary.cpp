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
TSocketLibrary::TSocketLibrary() = default;
TSocketLibrary::~TSocketLibrary() = default;
#endif
