#pragma once
// A one-way flag that ends every sleep taken through it: quitting sets it, so
// that sleeping watchdog threads wake at once and do nothing more.
#include <set>

#include "mainloop/clock.h"
#include "runtime/mutex.h"

namespace wardenix {

class StopFlag {
 public:
  explicit StopFlag(Clock& clock) : clock_(clock) {}
  StopFlag(const StopFlag&) = delete;
  StopFlag& operator=(const StopFlag&) = delete;

  void request_stop() EXCLUDES(mutex_);
  bool stop_requested() const EXCLUDES(mutex_);
  // Sleeps for `duration` on the flag's clock; false when a stop was requested
  // before or during the sleep.
  bool sleep_for(Millis duration) EXCLUDES(mutex_);

 private:
  Clock& clock_;
  mutable Mutex mutex_;
  bool stopped_ GUARDED_BY(mutex_) = false;
  std::set<WakeSignal*> sleepers_ GUARDED_BY(mutex_);
};

}  // namespace wardenix
