#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Diagnostics.h"
#include "ICMPMonitor.h"
#include "Synchronizer.h"

// The test thread plays the UI thread: it owns the synchronizer and services notifications while
// it waits. Notifications and diagnostic lines are recorded.
class MonitorHarness {
 public:
  struct Notification {
    std::string host;
    std::string note;
    TPingStatistics stats;
    std::chrono::steady_clock::time_point at;
  };

  // `echo` defaults to the platform's echo service.
  explicit MonitorHarness(std::shared_ptr<TEchoService> echo = nullptr)
      : monitor_(std::make_unique<TICMPMonitor>(ui_, std::move(echo))) {
    SetDiagnosticSink([this](std::string_view line) {
      std::lock_guard<std::mutex> hold(linesLock_);
      lines_.emplace_back(line);
    });
    monitor_->SetOnStatusUpdate([this](TICMPMonitor*, const std::string& host,
                                       const std::string& note, const TPingStatistics& stats) {
      notifications_.push_back({host, note, stats, std::chrono::steady_clock::now()});
      if (onNotify) onNotify(host, stats);
    });
  }
  ~MonitorHarness() {
    monitor_.reset();
    SetDiagnosticSink({});
  }

  TICMPMonitor& monitor() { return *monitor_; }
  TSynchronizer& ui() { return ui_; }
  void DestroyMonitor() { monitor_.reset(); }

  // Delivers notifications until `done` holds or `limit` has passed; returns whether it held.
  bool ServiceUntil(const std::function<bool()>& done,
                    std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return ui_.ServiceUntil(done, std::chrono::steady_clock::now() + limit);
  }
  // Delivers notifications for a while.
  void ServiceFor(std::chrono::milliseconds period) {
    ServiceUntil([] { return false; }, period);
  }
  bool WaitForNotifications(const std::string& host, std::size_t count,
                            std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return ServiceUntil([&] { return NotificationsOf(host).size() >= count; }, limit);
  }

  std::vector<Notification> NotificationsOf(const std::string& host) const {
    std::vector<Notification> out;
    for (const auto& n : notifications_) {
      if (n.host == host) out.push_back(n);
    }
    return out;
  }
  const std::vector<Notification>& notifications() const { return notifications_; }

  std::vector<std::string> Lines() const {
    std::lock_guard<std::mutex> hold(linesLock_);
    return lines_;
  }
  std::size_t CountLines(const std::string& line) const {
    std::size_t n = 0;
    for (const auto& l : Lines()) n += (l == line);
    return n;
  }
  std::size_t CountLinesStartingWith(const std::string& prefix) const {
    std::size_t n = 0;
    for (const auto& l : Lines()) n += (l.rfind(prefix, 0) == 0);
    return n;
  }

  // Called in the handler for every notification, on the UI thread.
  std::function<void(const std::string& host, const TPingStatistics& stats)> onNotify;

 private:
  TSynchronizer ui_;
  std::unique_ptr<TICMPMonitor> monitor_;
  std::vector<Notification> notifications_;
  mutable std::mutex linesLock_;
  std::vector<std::string> lines_;
};
