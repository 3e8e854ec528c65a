#include "mainloop/virtual_clock.h"

#include <algorithm>
#include <thread>

namespace wardenix {

class VirtualSignal final : public WakeSignal {
 public:
  explicit VirtualSignal(VirtualClock& clock) : clock_(clock) {}

  void set() override {
    MutexLock lock(clock_.mutex_);
    signalled_ = true;
    if (waiter_ && !waiter_->released) clock_.release(*waiter_);
  }

  bool wait_until(Millis deadline) override {
    MutexLock lock(clock_.mutex_);
    if (!signalled_ && deadline > clock_.now_) {
      VirtualClock::Waiter waiter{deadline};
      waiter_ = &waiter;
      clock_.waiters_.push_back(&waiter);
      --clock_.running_;
      clock_.advance_if_idle();
      while (!waiter.released) clock_.changed_.wait(lock);
      clock_.waiters_.remove(&waiter);
      waiter_ = nullptr;
    }
    const bool was = signalled_;
    signalled_ = false;
    return was;
  }

 private:
  VirtualClock& clock_;
  bool signalled_ GUARDED_BY(clock_.mutex_) = false;
  VirtualClock::Waiter* waiter_ GUARDED_BY(clock_.mutex_) = nullptr;
};

VirtualClock::VirtualClock(TDateTime local_start) : local_start_(local_start) {}

VirtualClock::~VirtualClock() { wait_for_threads(kNoDeadline); }

Millis VirtualClock::now() {
  MutexLock lock(mutex_);
  return now_;
}

TDateTime VirtualClock::local_time() {
  MutexLock lock(mutex_);
  return TDateTime{local_start_.value + static_cast<double>(now_.count()) / 86400000.0};
}

std::unique_ptr<WakeSignal> VirtualClock::make_signal() {
  return std::make_unique<VirtualSignal>(*this);
}

void VirtualClock::start_thread(std::function<void()> body) {
  {
    MutexLock lock(mutex_);
    ++running_;
    ++live_threads_;
  }
  std::thread([this, body = std::move(body)] {
    try {
      body();
    } catch (...) {
    }
    MutexLock lock(mutex_);
    --running_;
    --live_threads_;
    advance_if_idle();
    changed_.notify_all();
  }).detach();
}

bool VirtualClock::wait_for_threads(Millis timeout) {
  MutexLock lock(mutex_);
  const Millis until = timeout >= kNoDeadline - now_ ? kNoDeadline : now_ + timeout;
  // The caller stops running while it waits, so that the threads' time moves on.
  Waiter waiter{until};
  waiters_.push_back(&waiter);
  --running_;
  advance_if_idle();
  while (live_threads_ != 0 && !waiter.released) changed_.wait(lock);
  if (!waiter.released) {
    waiter.released = true;
    ++running_;
  }
  waiters_.remove(&waiter);
  return live_threads_ == 0;
}

void VirtualClock::quiesce() {
  MutexLock lock(mutex_);
  holding_time_ = true;
  --running_;
  changed_.notify_all();
  while (running_ != 0) changed_.wait(lock);
  ++running_;
  holding_time_ = false;
}

void VirtualClock::hold_time() {
  MutexLock lock(mutex_);
  ++running_;
}

void VirtualClock::release_time() {
  MutexLock lock(mutex_);
  --running_;
  advance_if_idle();
}

void VirtualClock::release(Waiter& waiter) {
  waiter.released = true;
  ++running_;
  changed_.notify_all();
}

void VirtualClock::advance_if_idle() {
  if (running_ != 0) return;
  if (holding_time_) {
    changed_.notify_all();
    return;
  }
  Millis next = kNoDeadline;
  for (const Waiter* w : waiters_) {
    if (!w->released) next = std::min(next, w->deadline);
  }
  if (next == kNoDeadline) return;  // every thread waits for a signal only
  now_ = std::max(now_, next);
  for (Waiter* w : waiters_) {
    if (!w->released && w->deadline <= now_) release(*w);
  }
}

}  // namespace wardenix
