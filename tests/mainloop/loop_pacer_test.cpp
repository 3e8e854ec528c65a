// A window system's loop driving the event loop through the pacer, in
// virtual time: the window system here is a queue that the test thread pumps.
#include "mainloop/loop_pacer.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "mainloop/virtual_clock.h"

namespace wardenix {
namespace {

using namespace std::chrono_literals;
using Events = std::vector<std::pair<std::string, long long>>;

struct WindowSystem {
  std::mutex mutex;
  std::condition_variable posted;
  std::deque<std::function<void()>> queue;
  bool quit = false;

  void post(std::function<void()> message) {
    std::lock_guard lock(mutex);
    queue.push_back(std::move(message));
    posted.notify_all();
  }
  // The message loop: blocks outside the clock, as GetMessage does.
  void run() {
    for (;;) {
      std::function<void()> message;
      {
        std::unique_lock lock(mutex);
        posted.wait(lock, [&] { return quit || !queue.empty(); });
        if (quit) return;
        message = std::move(queue.front());
        queue.pop_front();
      }
      message();
    }
  }
};

struct PacedLoop : ::testing::Test {
  VirtualClock clock;
  EventLoop loop{clock};
  WindowSystem windows;
  int quits = 0;
  LoopPacer pacer{loop, [this] { windows.post([this] { pacer.run_due(); }); },
                  [this] {
                    ++quits;
                    windows.quit = true;
                  }};
  Events events;

  std::function<void()> record(std::string what) {
    return [this, what] { events.emplace_back(what, clock.now().count()); };
  }
};

TEST_F(PacedLoop, TimersAndWorkFromOtherThreadsRunOnTime) {
  Timer tick(loop, 30000ms, true, record("tick"));
  Timer end(loop, 95000ms, true, [&] { loop.quit(); });
  clock.start_thread([&] {
    clock.sleep_for(5000ms);
    loop.post(record("posted"));
  });
  pacer.arm();
  windows.run();
  EXPECT_EQ(events, (Events{{"posted", 5000}, {"tick", 30000}, {"tick", 60000}, {"tick", 90000}}));
  EXPECT_EQ(quits, 1);
}

TEST_F(PacedLoop, ModelCodeFromAWindowMessageMayWaitOnTheClock) {
  Timer tick(loop, 3000ms, true, record("tick"));
  // A window event at time 0 that blocks for 10 s, as a server check does.
  windows.post([&] {
    pacer.run([&] {
      clock.sleep_for(10000ms);
      record("clicked")();
      tick.set_interval(20000ms);
    });
  });
  Timer end(loop, 50000ms, true, [&] { loop.quit(); });
  pacer.arm();
  windows.run();
  EXPECT_EQ(events, (Events{{"clicked", 10000}, {"tick", 30000}, {"tick", 50000}}));
}

TEST_F(PacedLoop, TimersRunWhileAModalLoopIsOpen) {
  Timer tick(loop, 10000ms, true, record("tick"));
  // The user closes the box at 25 s; when that message is handled, time may
  // have moved on to the next tick, as it would have in real time.
  clock.start_thread([&] {
    clock.sleep_for(25000ms);
    windows.post([&] { windows.quit = true; });
  });
  windows.post([&] {
    pacer.run([&] {
      pacer.modal([&] { windows.run(); });
      windows.quit = false;
      record("closed")();
      clock.sleep_for(1000ms);
      record("slept")();
      loop.quit();
    });
  });
  pacer.arm();
  windows.run();
  // Ticks every 10 s while the box is open; when time has reached 30 s before
  // the close is handled, that tick may come first.
  ASSERT_GE(events.size(), 4u);
  const std::size_t closed_at = events.size() - 2;
  ASSERT_EQ(events[closed_at].first, "closed");
  const long long closed = events[closed_at].second;
  EXPECT_TRUE(closed == 25000 || closed == 30000) << closed;
  ASSERT_GE(closed_at, 2u);
  for (std::size_t i = 0; i < closed_at; ++i) {
    EXPECT_EQ(events[i], (std::pair<std::string, long long>{"tick", 10000 * (static_cast<long long>(i) + 1)}));
  }
  EXPECT_LE(events[closed_at - 1].second, closed);
  // After the box, the model code runs alone again.
  EXPECT_EQ(events.back(), (std::pair<std::string, long long>{"slept", closed + 1000}));
}

TEST_F(PacedLoop, WindowEventsCausedByModelCodeDoNotReleaseTime) {
  Timer tick(loop, 10000ms, true);
  tick.set_on_timer([&] {
    tick.set_enabled(false);
    // A click the model itself causes, handled at once by the window system.
    pacer.run([&] { record("clicked")(); });
    clock.sleep_for(500ms);
    record("after")();
    loop.quit();
  });
  pacer.arm();
  windows.run();
  EXPECT_EQ(events, (Events{{"clicked", 10000}, {"after", 10500}}));
}

}  // namespace
}  // namespace wardenix
