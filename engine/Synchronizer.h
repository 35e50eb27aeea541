#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// Hands calls from worker threads to the UI thread and waits for them. The UI thread is the one
// that creates the synchronizer. The engine knows no toolkit: the UI layer passes a function that
// makes its event loop call RunPending() soon; it may be called from any thread.
class TSynchronizer {
 public:
  using WakeFunction = std::function<void()>;

  explicit TSynchronizer(WakeFunction wakeUiThread = {});
  TSynchronizer(const TSynchronizer&) = delete;
  TSynchronizer& operator=(const TSynchronizer&) = delete;

  // Runs `call` on the UI thread and returns when it has finished; an exception it throws is
  // thrown again here. Called on the UI thread itself, it runs the call at once.
  void Synchronize(const std::function<void()>& call);

  // UI thread: runs the calls queued so far.
  void RunPending();

  // UI thread: runs queued calls, and nothing else, until `done()` holds. The condition is
  // checked again after each call and whenever Signal() is called.
  void ServiceUntil(const std::function<bool()>& done);

  // As above, but gives up at `deadline`; returns whether `done()` held.
  bool ServiceUntil(const std::function<bool()>& done,
                    std::chrono::steady_clock::time_point deadline);

  // Any thread: makes a waiting ServiceUntil check its condition again.
  void Signal();

  bool IsUiThread() const { return std::this_thread::get_id() == uiThread_; }

 private:
  struct PendingCall;

  // Takes the first queued call, or null; `hold` is locked on return.
  PendingCall* TakeNext(std::unique_lock<std::mutex>& hold);
  void Run(PendingCall& call, std::unique_lock<std::mutex>& hold);

  const std::thread::id uiThread_;
  const WakeFunction wake_;
  std::atomic<bool> wakePosted_{false};
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<PendingCall*> queue_;
};
