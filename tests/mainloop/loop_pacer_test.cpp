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

// Like a real one, it tells the pacer when its loop waits and when it wakes,
// and which messages wait in its queue.
struct WindowSystem {
  LoopPacer* pacer = nullptr;
  std::mutex mutex;
  std::condition_variable posted;
  std::deque<std::function<void()>> queue;
  bool quit = false;

  void post(std::function<void()> message) {
    std::lock_guard lock(mutex);
    pacer->message_posted();
    queue.push_back(std::move(message));
    posted.notify_all();
  }
  // The message loop: blocks outside the clock, as GetMessage does.
  void run() {
    for (;;) {
      std::function<void()> message;
      {
        std::unique_lock lock(mutex);
        if (!quit && queue.empty()) {
          pacer->about_to_block();
          posted.wait(lock, [&] { return quit || !queue.empty(); });
          pacer->awoken();
        }
        if (quit) return;
        message = std::move(queue.front());
        queue.pop_front();
        pacer->message_taken();
      }
      message();
    }
  }
  // As a modal loop may: waits for the next message, takes it and drops it.
  void drop_next() {
    std::unique_lock lock(mutex);
    pacer->about_to_block();
    posted.wait(lock, [&] { return !queue.empty(); });
    pacer->awoken();
    queue.pop_front();
    pacer->message_taken();
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

  PacedLoop() { windows.pacer = &pacer; }

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
  // The user closes the box at 25 s.
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
  // Ticks every 10 s while the box is open, the close handled when the user
  // gave it; after the box, the model code runs alone again.
  EXPECT_EQ(events, (Events{{"tick", 10000}, {"tick", 20000}, {"closed", 25000}, {"slept", 26000}}));
}

TEST_F(PacedLoop, AWakeThatAModalLoopDropsHoldsTimeOnlyUntilTheNextIsHandled) {
  Timer tick(loop, 10000ms, true, record("tick"));
  Timer end(loop, 25000ms, true, [&] { loop.quit(); });
  // The box's loop ends with the wake due at 10 s, which it drops.
  windows.post([&] { pacer.run([&] { pacer.modal([&] { windows.drop_next(); }); }); });
  pacer.arm();
  windows.run();
  EXPECT_EQ(events, (Events{{"tick", 10000}, {"tick", 20000}}));
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
