#include "Synchronizer.h"

#include <exception>

struct TSynchronizer::PendingCall {
  const std::function<void()>* call = nullptr;
  std::exception_ptr error;
  bool done = false;
  std::condition_variable finished;
};

TSynchronizer::TSynchronizer(WakeFunction wakeUiThread)
    : uiThread_(std::this_thread::get_id()), wake_(std::move(wakeUiThread)) {}

void TSynchronizer::Synchronize(const std::function<void()>& call) {
  if (IsUiThread()) {
    call();
    return;
  }
  PendingCall pending;
  pending.call = &call;
  std::unique_lock<std::mutex> hold(lock_);
  queue_.push_back(&pending);
  changed_.notify_all();
  hold.unlock();
  // One wake-up is enough for any number of queued calls until RunPending starts draining.
  if (wake_ && !wakePosted_.exchange(true)) wake_();
  hold.lock();
  pending.finished.wait(hold, [&] { return pending.done; });
  hold.unlock();
  if (pending.error) std::rethrow_exception(pending.error);
}

TSynchronizer::PendingCall* TSynchronizer::TakeNext(std::unique_lock<std::mutex>& hold) {
  (void)hold;
  if (queue_.empty()) return nullptr;
  PendingCall* next = queue_.front();
  queue_.pop_front();
  return next;
}

void TSynchronizer::Run(PendingCall& pending, std::unique_lock<std::mutex>& hold) {
  hold.unlock();
  std::exception_ptr error;
  try {
    (*pending.call)();
  } catch (...) {
    error = std::current_exception();  // handed back to the waiting worker
  }
  hold.lock();
  pending.error = error;
  pending.done = true;
  pending.finished.notify_one();
}

void TSynchronizer::RunPending() {
  wakePosted_.store(false);
  std::unique_lock<std::mutex> hold(lock_);
  // Only the calls queued before we started: a worker that queues again at once waits for the
  // next round instead of starving the event loop.
  std::size_t budget = queue_.size();
  while (budget-- > 0) {
    PendingCall* next = TakeNext(hold);
    if (!next) break;
    Run(*next, hold);
  }
}

void TSynchronizer::ServiceUntil(const std::function<bool()>& done) {
  ServiceUntil(done, std::chrono::steady_clock::time_point::max());
}

bool TSynchronizer::ServiceUntil(const std::function<bool()>& done,
                                 std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    if (done()) return true;
    if (PendingCall* next = TakeNext(hold)) {
      Run(*next, hold);
      continue;
    }
    if (deadline == std::chrono::steady_clock::time_point::max()) {
      changed_.wait(hold);
    } else if (changed_.wait_until(hold, deadline) == std::cv_status::timeout) {
      return done();
    }
  }
}

void TSynchronizer::Signal() {
  std::lock_guard<std::mutex> hold(lock_);
  changed_.notify_all();
}
