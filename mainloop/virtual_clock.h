#pragma once
// Virtual time for tests: time stands still while any thread of the clock
// runs or anything holds time, and jumps to the next deadline once every
// thread waits on it. The thread that creates the clock takes part, as do the
// threads it starts.
#include <condition_variable>
#include <list>

#include "mainloop/clock.h"
#include "runtime/mutex.h"

namespace wardenix {

class VirtualClock final : public Clock {
 public:
  // `local_start` is the wall-clock time at virtual time 0.
  explicit VirtualClock(TDateTime local_start = TDateTime{46023.0});  // 2026-01-01 00:00
  ~VirtualClock() override;

  Millis now() override;
  TDateTime local_time() override;
  std::unique_ptr<WakeSignal> make_signal() override;
  void start_thread(std::function<void()> body) override;
  bool wait_for_threads(Millis timeout) override;
  void quiesce() override;
  void hold_time() override;
  void release_time() override;

 private:
  friend class VirtualSignal;
  struct Waiter {
    Millis deadline;
    bool released = false;
  };

  // Called by a thread that stops running.
  void advance_if_idle() REQUIRES(mutex_);
  void release(Waiter& waiter) REQUIRES(mutex_);

  // Also guards each waiter's `released`.
  Mutex mutex_;
  std::condition_variable_any changed_;
  Millis now_ GUARDED_BY(mutex_) = Millis{0};
  const TDateTime local_start_;
  int running_ GUARDED_BY(mutex_) = 1;  // threads that run, and holds
  int live_threads_ GUARDED_BY(mutex_) = 0;
  bool holding_time_ GUARDED_BY(mutex_) = false;
  std::list<Waiter*> waiters_ GUARDED_BY(mutex_);
};

}  // namespace wardenix
