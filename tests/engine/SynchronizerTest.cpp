#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "Synchronizer.h"

namespace {

using namespace std::chrono_literals;

TEST(Synchronizer, RunsWorkerCallsOnTheUiThreadAndWaitsForThem) {
  TSynchronizer ui;
  std::thread::id ranOn;
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    ui.Synchronize([&] { ranOn = std::this_thread::get_id(); });
    returned = true;
    ui.Signal();
  });
  ASSERT_TRUE(
      ui.ServiceUntil([&] { return returned.load(); }, std::chrono::steady_clock::now() + 10s));
  worker.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(Synchronizer, RethrowsTheCallsExceptionInTheWorker) {
  TSynchronizer ui;
  std::string caught;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    try {
      ui.Synchronize([] { throw std::runtime_error("handler failed"); });
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
    done = true;
    ui.Signal();
  });
  ASSERT_TRUE(ui.ServiceUntil([&] { return done.load(); }, std::chrono::steady_clock::now() + 10s));
  worker.join();
  EXPECT_EQ(caught, "handler failed");
}

TEST(Synchronizer, CallFromTheUiThreadRunsAtOnce) {
  TSynchronizer ui;
  bool ran = false;
  ui.Synchronize([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST(Synchronizer, WakesTheEventLoopOnceUntilItDrains) {
  std::atomic<int> wakes{0};
  TSynchronizer ui([&] { ++wakes; });
  std::atomic<int> ran{0};
  constexpr int kWorkers = 4;
  std::vector<std::thread> workers;
  for (int i = 0; i < kWorkers; ++i) {
    workers.emplace_back([&] { ui.Synchronize([&] { ++ran; }); });
  }
  // Event loop stand-in: drain whenever woken.
  const auto giveUp = std::chrono::steady_clock::now() + 10s;
  while (ran < kWorkers && std::chrono::steady_clock::now() < giveUp) {
    ui.RunPending();
    std::this_thread::sleep_for(1ms);
  }
  for (auto& w : workers) w.join();
  EXPECT_EQ(ran, kWorkers);
  EXPECT_GE(wakes, 1);
  EXPECT_LE(wakes, kWorkers);
}

TEST(Synchronizer, ServiceUntilGivesUpAtItsDeadline) {
  TSynchronizer ui;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ui.ServiceUntil([] { return false; }, start + 50ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
}

TEST(Synchronizer, ServiceUntilRunsCallsThatArriveWhileWaiting) {
  TSynchronizer ui;
  std::atomic<int> ran{0};
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i) ui.Synchronize([&] { ++ran; });
  });
  EXPECT_TRUE(
      ui.ServiceUntil([&] { return ran.load() == 3; }, std::chrono::steady_clock::now() + 10s));
  worker.join();
}

}  // namespace
