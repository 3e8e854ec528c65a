#pragma once
// A one-way flag that ends every sleep taken through it: quitting sets it, so
// that sleeping watchdog threads wake at once and do nothing more.
#include <mutex>
#include <set>

#include "mainloop/clock.h"

namespace wardenix {

class StopFlag {
 public:
  explicit StopFlag(Clock& clock) : clock_(clock) {}
  StopFlag(const StopFlag&) = delete;
  StopFlag& operator=(const StopFlag&) = delete;

  void request_stop();
  bool stop_requested() const;
  // Sleeps for `duration` on the flag's clock; false when a stop was requested
  // before or during the sleep.
  bool sleep_for(Millis duration);

 private:
  Clock& clock_;
  mutable std::mutex mutex_;
  bool stopped_ = false;
  std::set<WakeSignal*> sleepers_;
};

}  // namespace wardenix
