// The worker's events and thread, on each platform: manual reset, a wait on
// two events where the first wins a tie, time-outs, and a thread that joins.
#include "platform/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

TEST(Sync, EventsAreManualResetAndStartClear) {
  platform::Event e;
  EXPECT_FALSE(e.IsSet());
  e.Set();
  EXPECT_TRUE(e.IsSet());
  platform::Event other;
  // A wait does not consume a manual-reset event.
  EXPECT_EQ(platform::WaitAny(other, e, 0), 1);
  EXPECT_EQ(platform::WaitAny(other, e, -1), 1);
  EXPECT_TRUE(e.IsSet());
  e.Reset();
  EXPECT_FALSE(e.IsSet());
  EXPECT_EQ(platform::WaitAny(other, e, 0), platform::kWaitTimeout);
}

TEST(Sync, FirstEventWinsATie) {
  platform::Event quit, start;
  quit.Set();
  start.Set();
  EXPECT_EQ(platform::WaitAny(quit, start, 0), 0);
  EXPECT_EQ(platform::WaitAny(quit, start, -1), 0);
}

TEST(Sync, TimeOutIsKept) {
  platform::Event a, b;
  const auto t0 = Clock::now();
  EXPECT_EQ(platform::WaitAny(a, b, 50), platform::kWaitTimeout);
  EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(45));
}

TEST(Sync, AWaitWakesWhenAnotherThreadSets) {
  platform::Event a, b;
  platform::Thread t;
  ASSERT_TRUE(t.Start([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    b.Set();
  }));
  EXPECT_EQ(platform::WaitAny(a, b, 10000), 1);
  t.Join();
  EXPECT_FALSE(t.Joinable());
}

TEST(Sync, ThreadRunsItsBodyOnceAndJoins) {
  std::atomic<int> runs{0};
  {
    platform::Thread t;
    EXPECT_FALSE(t.Joinable());
    ASSERT_TRUE(t.Start([&] { ++runs; }));
    EXPECT_TRUE(t.Joinable());
    EXPECT_FALSE(t.Start([&] { ++runs; }));  // one body per thread object
  }  // the destructor joins
  EXPECT_EQ(runs, 1);
}

}  // namespace
