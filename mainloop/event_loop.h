#pragma once
// The main thread's loop: timers that fire on it and work that other threads
// hand to it. A handler always runs to its end before anything else runs.
// Only the loop's thread runs it and uses its timers; debug builds check that
// (the first thread to do either becomes the loop's thread).
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "mainloop/clock.h"
#include "mainloop/owning_thread.h"
#include "runtime/mutex.h"

namespace wardenix {

class Timer;

class EventLoop {
 public:
  explicit EventLoop(Clock& clock);
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;
  ~EventLoop();

  Clock& clock() { return clock_; }

  // Any thread: queue `task` to run on the loop's thread. Tasks posted after
  // the loop has finished are dropped.
  void post(std::function<void()> task) EXCLUDES(mutex_);
  // Any thread: ends `run` once the current handler returns.
  void quit() EXCLUDES(mutex_);
  bool quitting() const EXCLUDES(mutex_);

  // Runs until `quit`, on the loop's thread.
  void run();
  // Runs until the clock reaches `until` and everything due by then is done
  // (for tests in virtual time).
  void run_until(Millis until);
  // Debug builds: ends the program unless called on the loop's thread.
  void assert_on_loop_thread(const char* what) const { thread_.check(what); }

  // For a window system's loop that drives this one (see LoopPacer). On the
  // loop's thread: runs every task and tick ready now, stopping at `quit`.
  void run_ready();
  // The clock time when work is next due: now when work was posted, else
  // when the next timer is due; kNoDeadline when none runs.
  Millis next_deadline();
  // Any thread: waits until work is posted, `quit` or `interrupt_wait` is
  // called, or the clock reaches `deadline`.
  void wait_for_work(Millis deadline) { wait(deadline); }
  void interrupt_wait() { wake_->set(); }

 private:
  friend class Timer;
  struct TimerState;

  // Runs one pending task or tick; false when nothing was ready.
  bool dispatch_one();
  void wait(Millis deadline);

  Clock& clock_;
  std::unique_ptr<WakeSignal> wake_;
  OwningThread thread_;
  mutable Mutex mutex_;
  std::deque<std::function<void()>> posted_ GUARDED_BY(mutex_);
  bool quit_ GUARDED_BY(mutex_) = false;
  bool finished_ GUARDED_BY(mutex_) = false;
  // The loop's thread only.
  std::vector<TimerState*> timers_;
  std::uint64_t next_sequence_ = 0;
};

// A window timer: fires on the loop's thread once per interval while enabled.
// Enabling a disabled timer starts a fresh interval; enabling an enabled one
// changes nothing; at most one tick waits while a handler runs. Use it on the
// loop's thread only.
class Timer {
 public:
  Timer(EventLoop& loop, Millis interval, bool enabled, std::function<void()> on_timer = {});
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;
  ~Timer();

  void set_enabled(bool enabled);
  bool enabled() const;
  void set_interval(Millis interval);
  Millis interval() const;
  void set_on_timer(std::function<void()> handler);

 private:
  EventLoop& loop_;
  std::unique_ptr<EventLoop::TimerState> state_;
};

}  // namespace wardenix
