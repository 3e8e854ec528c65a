#include "mainloop/abort_switch.h"

#include <utility>

namespace wardenix {

void AbortSwitch::Trip() {
  MutexLock lock(mutex_);
  tripped_ = true;
  if (waker_) waker_();
}

bool AbortSwitch::Tripped() const {
  MutexLock lock(mutex_);
  return tripped_;
}

void AbortSwitch::Attach(std::function<void()> waker) {
  MutexLock lock(mutex_);
  waker_ = std::move(waker);
  if (tripped_ && waker_) waker_();
}

void AbortSwitch::Detach() {
  MutexLock lock(mutex_);
  waker_ = nullptr;
}

}  // namespace wardenix
