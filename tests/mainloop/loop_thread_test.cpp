// Only the loop's thread runs the loop and uses its timers: debug builds end
// the program when another thread tries.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "mainloop/event_loop.h"
#include "mainloop/virtual_clock.h"

namespace wardenix {
namespace {

using namespace std::chrono_literals;

TEST(LoopThread, IsTheFirstThreadToUseTheLoopNotTheOneThatMadeIt) {
  VirtualClock clock;
  EventLoop loop(clock);
  int runs = 0;
  loop.post([&] { ++runs; });  // any thread may post
  std::thread([&] {
    Timer timer(loop, 1000ms, true);
    timer.set_interval(2000ms);
    loop.run_ready();
  }).join();
  EXPECT_EQ(runs, 1);
}

#if GTEST_HAS_DEATH_TEST
TEST(LoopThreadDeathTest, AnotherThreadThatRunsTheLoopOrTouchesATimerEndsTheProgram) {
#ifdef NDEBUG
  GTEST_SKIP() << "checked in debug builds only";
#else
  // The child process must not inherit the parent's threads.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Case {
    const char* call;
    std::function<void(EventLoop&, Timer&)> from_another_thread;
  };
  const Case cases[] = {
      {"EventLoop::run_until", [](EventLoop& loop, Timer&) { loop.run_until(0ms); }},
      {"EventLoop::run_ready", [](EventLoop& loop, Timer&) { loop.run_ready(); }},
      {"EventLoop::next_deadline", [](EventLoop& loop, Timer&) { loop.next_deadline(); }},
      {"Timer::Timer", [](EventLoop& loop, Timer&) { Timer other(loop, 1000ms, false); }},
      {"Timer::set_enabled", [](EventLoop&, Timer& timer) { timer.set_enabled(true); }},
      {"Timer::set_interval", [](EventLoop&, Timer& timer) { timer.set_interval(5ms); }},
      {"Timer::enabled", [](EventLoop&, Timer& timer) { (void)timer.enabled(); }},
  };
  VirtualClock clock;
  EventLoop loop(clock);
  Timer timer(loop, 1000ms, false);  // this thread is now the loop's thread
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    EXPECT_DEATH(std::thread([&] { c.from_another_thread(loop, timer); }).join(),
                 std::string(c.call) + " called on a thread other than the one that owns it");
  }
#endif
}
#endif

}  // namespace
}  // namespace wardenix
