#pragma once
// The one clock through which every timer, sleep and wait of the program goes.
// A real clock, a scaled clock for demos and a virtual clock for tests share
// this interface, so the 30- and 40-second cycles can run in virtual time.
#include <chrono>
#include <functional>
#include <memory>

#include "runtime/datetime.h"

namespace wardenix {

using Millis = std::chrono::milliseconds;
inline constexpr Millis kNoDeadline = Millis::max();

// A flag that one thread waits on and another sets.
class WakeSignal {
 public:
  virtual ~WakeSignal() = default;
  virtual void set() = 0;
  // Waits until the signal is set or the clock reaches `deadline`. Returns
  // true when the signal was set, and clears it.
  virtual bool wait_until(Millis deadline) = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Monotonic time since the clock started.
  virtual Millis now() = 0;
  // The local wall-clock time of `now()`.
  virtual TDateTime local_time() = 0;
  virtual std::unique_ptr<WakeSignal> make_signal() = 0;
  // Starts a detached thread whose waits go through this clock.
  virtual void start_thread(std::function<void()> body) = 0;
  // Blocks until every thread started here has ended or `timeout` (of this
  // clock) has passed; true when none is left.
  virtual bool wait_for_threads(Millis timeout) = 0;
  // Returns once every other thread of the clock waits on it (virtual time);
  // a no-op for real clocks.
  virtual void quiesce() {}
  // Virtual time moves on only while nothing is under way. Work that runs
  // outside the clock's own waits, such as a window system's loop handling
  // messages or a message waiting in its queue, holds time from hold_time()
  // until the matching release_time(). The thread that creates a virtual
  // clock holds time from the start. No-ops for real clocks.
  virtual void hold_time() {}
  virtual void release_time() {}

  void sleep_for(Millis duration);
};

// Real time, optionally running `scale` times faster (for demos only).
std::unique_ptr<Clock> make_system_clock(double scale = 1.0);

}  // namespace wardenix
