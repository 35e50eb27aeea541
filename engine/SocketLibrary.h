#pragma once

// Starts the platform's socket library for the life of the object; one per process, made before
// any monitor. On Windows a failed start-up throws "Winsock初始化失败"; elsewhere it raises the
// process's descriptor limit as far as the system allows, for the sockets of many probes.
class TSocketLibrary {
 public:
  TSocketLibrary();
  ~TSocketLibrary();
  TSocketLibrary(const TSocketLibrary&) = delete;
  TSocketLibrary& operator=(const TSocketLibrary&) = delete;
};
