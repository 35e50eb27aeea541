#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PingStatistics.h"

class TEchoService;
class TICMPMonitor;
class TSynchronizer;

// Raised on the UI thread after every probe round of a target. `Stats` is the target's live
// record, valid for the duration of the call; a handler that keeps the figures copies it.
using TStatusUpdateEvent =
    std::function<void(TICMPMonitor* Sender, const std::string& Host, const std::string& Note,
                       const TPingStatistics& Stats)>;

// The worker of one target: one echo request per interval, the probe update, the notification.
// Only the monitor creates, starts, stops and frees it.
class TMonitorThread {
 public:
  // Throws "无效的主机或DNS解析失败: <Host>" when DstIP is empty; nothing runs then.
  TMonitorThread(TICMPMonitor& Monitor, const std::string& Host, const std::string& DstIP,
                 uint32_t Interval, uint32_t Timeout, bool IsIPv6, const std::string& Note);
  ~TMonitorThread();
  TMonitorThread(const TMonitorThread&) = delete;
  TMonitorThread& operator=(const TMonitorThread&) = delete;

  const std::string& IP() const { return FIP; }
  const std::string& Host() const { return FHost; }
  bool IsIPv6() const { return FIsIPv6; }
  const std::string& Note() const { return FNote; }
  // A copy of the history, oldest first, taken under the monitor's statistics lock.
  std::vector<int32_t> LatencyHistory() const;

 private:
  friend class TICMPMonitor;

  void Start();
  void Terminate();
  bool Finished() const { return finished_.load(); }
  void Join();

  void Execute();
  void WaitForDeadline(std::chrono::steady_clock::time_point deadline);
  void PingIPv4();
  void PingIPv6();
  void NotifyStatus();
  void CountProbe(bool answered, uint32_t roundTripMs);

  std::string FHost;
  std::string FIP;
  uint32_t FInterval;
  uint32_t FTimeout;
  TPingStatistics FStatistics;
  TICMPMonitor& FMonitor;
  bool FIsIPv6;
  std::string FNote;
  TLatencyHistory FLatencyHistory;

  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::mutex wakeLock_;
  std::condition_variable wake_;
  std::chrono::steady_clock::time_point started_;  // the schedule's origin
  std::thread thread_;
};

// The front of the ping engine: the registry of targets and their workers. Every public
// operation is meant for the UI thread, the thread that owns `Ui`.
class TICMPMonitor {
 public:
  // `Echo` defaults to the platform's echo service.
  explicit TICMPMonitor(TSynchronizer& Ui, std::shared_ptr<TEchoService> Echo = nullptr);
  ~TICMPMonitor();
  TICMPMonitor(const TICMPMonitor&) = delete;
  TICMPMonitor& operator=(const TICMPMonitor&) = delete;

  const TStatusUpdateEvent& OnStatusUpdate() const { return FOnStatusUpdate; }
  void SetOnStatusUpdate(TStatusUpdateEvent handler) { FOnStatusUpdate = std::move(handler); }

  void AddTarget(const std::string& Host, uint32_t Interval, uint32_t Timeout,
                 const std::string& Note);
  void RemoveTarget(const std::string& Host);
  void DebugThreadList();
  TPingStatistics GetStatistics(const std::string& Host);
  void GetAllTargets(std::vector<std::string>& Targets, bool IncludeNotes);
  static bool IsValidIPv4Address(const std::string& IP);
  static bool IsValidIPv6Address(const std::string& IP);
  std::vector<TPingStatistics> GetAllStatistics();
  TMonitorThread* FindThread(const std::string& Host);
  static std::vector<std::string> ResolveHostNameEx(const std::string& HostName);
  void EditTarget(const std::string& Host, const std::string& NewNote);
  void ResetStatistics(const std::string& Host);
  void ResetAllStatistics();

 private:
  friend class TMonitorThread;

  // The registered threads in order of addition, with the re-entrant thread-list lock.
  struct TThreadList {
    std::recursive_mutex Lock;
    std::vector<std::unique_ptr<TMonitorThread>> Items;
  };

  void StopAndJoin(TMonitorThread& thread);

  TThreadList FThreads;
  TStatusUpdateEvent FOnStatusUpdate;
  mutable std::mutex FCS;  // the statistics lock; after the thread-list lock when both are held
  TSynchronizer& FUi;
  std::shared_ptr<TEchoService> FEcho;
};
