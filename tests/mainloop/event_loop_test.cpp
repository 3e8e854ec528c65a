#include "mainloop/event_loop.h"

#include <gtest/gtest.h>

#include <vector>

#include "mainloop/stop_flag.h"
#include "mainloop/virtual_clock.h"

namespace wardenix {
namespace {

using namespace std::chrono_literals;

struct LoopFixture : ::testing::Test {
  VirtualClock clock;
  EventLoop loop{clock};
  std::vector<std::pair<char, long long>> ticks;

  std::function<void()> record(char name) {
    return [this, name] { ticks.emplace_back(name, clock.now().count()); };
  }
};

TEST_F(LoopFixture, TimerFiresOncePerIntervalWhileEnabled) {
  Timer t(loop, 30000ms, true, record('a'));
  loop.run_until(100000ms);
  EXPECT_EQ(ticks, (std::vector<std::pair<char, long long>>{{'a', 30000}, {'a', 60000}, {'a', 90000}}));
}

TEST_F(LoopFixture, EnablingStartsAFreshIntervalOnlyWhenDisabled) {
  Timer t(loop, 40000ms, false, record('s'));
  Timer again(loop, 10000ms, false);
  again.set_on_timer([&] {
    t.set_enabled(true);  // at 10 s: starts; at 20 s and 30 s: changes nothing
    if (clock.now() >= 30000ms) again.set_enabled(false);
  });
  again.set_enabled(true);
  loop.run_until(95000ms);
  EXPECT_EQ(ticks, (std::vector<std::pair<char, long long>>{{'s', 50000}, {'s', 90000}}));
}

TEST_F(LoopFixture, ALongHandlerLeavesAtMostOneTickWaiting) {
  Timer fast(loop, 1000ms, true);
  Timer slow(loop, 40000ms, true);
  fast.set_on_timer([&] {
    ticks.emplace_back('f', clock.now().count());
    if (ticks.size() == 1) clock.sleep_for(5500ms);  // blocks the loop
  });
  loop.run_until(8000ms);
  // Ticks due at 2..6 s collapse into one at 6.5 s; the rhythm stays on whole seconds.
  EXPECT_EQ(ticks, (std::vector<std::pair<char, long long>>{
                       {'f', 1000}, {'f', 6500}, {'f', 7000}, {'f', 8000}}));
}

TEST_F(LoopFixture, PostedWorkRunsOnTheLoopBeforeDueTicks) {
  Timer t(loop, 1000ms, true, record('t'));
  clock.start_thread([&] {
    clock.sleep_for(1000ms);
    loop.post(record('p'));
  });
  loop.run_until(1000ms);
  ASSERT_EQ(ticks.size(), 2u);
  EXPECT_EQ(ticks[0].second, 1000);
  EXPECT_EQ(ticks[1].second, 1000);
}

TEST_F(LoopFixture, QuitEndsRunAfterTheCurrentHandler) {
  Timer t(loop, 1000ms, true);
  t.set_on_timer([&] {
    ticks.emplace_back('t', clock.now().count());
    loop.quit();
  });
  loop.run();
  EXPECT_EQ(ticks.size(), 1u);
  loop.post(record('x'));  // dropped: the loop has finished
  EXPECT_EQ(ticks.size(), 1u);
}

TEST(StopFlag, WakesEverySleeperAtOnce) {
  VirtualClock clock;
  StopFlag stop(clock);
  std::vector<long long> woke;
  std::mutex m;
  for (int i = 0; i < 3; ++i) {
    clock.start_thread([&] {
      const bool slept = stop.sleep_for(42000ms);
      std::lock_guard lock(m);
      woke.push_back(slept ? -1 : clock.now().count());
    });
  }
  clock.sleep_for(5000ms);
  stop.request_stop();
  ASSERT_TRUE(clock.wait_for_threads(kNoDeadline));
  EXPECT_EQ(woke, (std::vector<long long>{5000, 5000, 5000}));
  EXPECT_FALSE(stop.sleep_for(1ms));
}

}  // namespace
}  // namespace wardenix
