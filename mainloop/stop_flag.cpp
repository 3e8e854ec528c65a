#include "mainloop/stop_flag.h"

namespace wardenix {

void StopFlag::request_stop() {
  MutexLock lock(mutex_);
  stopped_ = true;
  for (WakeSignal* sleeper : sleepers_) sleeper->set();
}

bool StopFlag::stop_requested() const {
  MutexLock lock(mutex_);
  return stopped_;
}

bool StopFlag::sleep_for(Millis duration) {
  const auto signal = clock_.make_signal();
  {
    MutexLock lock(mutex_);
    if (stopped_) return false;
    sleepers_.insert(signal.get());
  }
  const Millis start = clock_.now();
  signal->wait_until(duration >= kNoDeadline - start ? kNoDeadline : start + duration);
  MutexLock lock(mutex_);
  sleepers_.erase(signal.get());
  return !stopped_;
}

}  // namespace wardenix
