#include "mainloop/virtual_clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "mainloop/clock.h"

namespace wardenix {
namespace {

using namespace std::chrono_literals;

TEST(VirtualClock, TimeJumpsOnlyWhenEveryThreadWaits) {
  VirtualClock clock;
  std::mutex m;
  std::vector<std::pair<int, long long>> events;
  for (int id = 1; id <= 2; ++id) {
    clock.start_thread([&, id] {
      clock.sleep_for(Millis(20000 * id));
      std::lock_guard lock(m);
      events.emplace_back(id, clock.now().count());
    });
  }
  clock.sleep_for(30000ms);
  {
    std::lock_guard lock(m);
    EXPECT_EQ(events, (std::vector<std::pair<int, long long>>{{1, 20000}}));
  }
  ASSERT_TRUE(clock.wait_for_threads(kNoDeadline));
  EXPECT_EQ(events.back(), (std::pair<int, long long>{2, 40000}));
}

TEST(VirtualClock, ASignalWakesTheWaiterWithoutMovingTime) {
  VirtualClock clock;
  auto signal = clock.make_signal();
  std::atomic<long long> woke_at{-1};
  clock.start_thread([&] {
    if (signal->wait_until(kNoDeadline)) woke_at = clock.now().count();
  });
  clock.sleep_for(7000ms);
  signal->set();
  ASSERT_TRUE(clock.wait_for_threads(kNoDeadline));
  EXPECT_EQ(woke_at, 7000);
}

TEST(VirtualClock, LocalTimeFollowsVirtualTime) {
  VirtualClock clock(TDateTime{46023.0});
  clock.sleep_for(90000ms);
  const DateTimeParts p = decode_date_time(clock.local_time());
  EXPECT_EQ(p, (DateTimeParts{2026, 1, 1, 0, 1, 30, 0}));
}

TEST(SystemClock, ScaledSleepIsShort) {
  auto clock = make_system_clock(1000.0);
  const Millis start = clock->now();
  clock->sleep_for(2000ms);  // 2 ms of real time
  EXPECT_GE(clock->now() - start, 2000ms);
}

}  // namespace
}  // namespace wardenix
