#include "mainloop/loop_pacer.h"

#include <utility>

namespace wardenix {

LoopPacer::LoopPacer(EventLoop& loop, std::function<void()> wake, std::function<void()> on_quit)
    : loop_(loop), wake_(std::move(wake)), on_quit_(std::move(on_quit)) {
  helper_ = std::thread([this] { pace(); });
}

LoopPacer::~LoopPacer() {
  {
    std::lock_guard lock(mutex_);
    state_ = State::Stopping;
  }
  loop_.interrupt_wait();
  changed_.notify_all();
  helper_.join();
}

void LoopPacer::run(const std::function<void()>& model_code) {
  hold();
  ++depth_;
  struct Leave {
    LoopPacer& pacer;
    ~Leave() {
      if (--pacer.depth_ == pacer.modal_depth_) pacer.arm();
    }
  } leave{*this};
  model_code();
}

void LoopPacer::run_due() {
  run([this] { loop_.run_ready(); });
}

void LoopPacer::modal(const std::function<void()>& modal_loop) {
  const int outer = modal_depth_;
  modal_depth_ = depth_;
  arm();
  struct Leave {
    LoopPacer& pacer;
    int outer;
    ~Leave() {
      pacer.hold();
      pacer.modal_depth_ = outer;
    }
  } leave{*this, outer};
  modal_loop();
}

void LoopPacer::hold() {
  std::unique_lock lock(mutex_);
  if (state_ == State::Armed) state_ = State::Idle;
  if (state_ != State::Waiting) return;
  loop_.interrupt_wait();
  changed_.wait(lock, [&] { return state_ != State::Waiting; });
}

void LoopPacer::arm() {
  if (loop_.quitting()) {
    if (!quit_reported_ && on_quit_) {
      quit_reported_ = true;
      on_quit_();
    }
    return;
  }
  const Millis deadline = loop_.next_deadline();
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::Idle) return;
    deadline_ = deadline;
    state_ = State::Armed;
  }
  changed_.notify_all();
}

void LoopPacer::pace() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return state_ == State::Armed || state_ == State::Stopping; });
    if (state_ == State::Stopping) return;
    state_ = State::Waiting;
    const Millis deadline = deadline_;
    lock.unlock();
    loop_.wait_for_work(deadline);
    lock.lock();
    if (state_ == State::Stopping) return;
    state_ = State::Idle;
    changed_.notify_all();
    // Also after `hold`: work posted meanwhile may have been the wake that
    // ended the wait, and an extra call of `run_due` costs nothing.
    lock.unlock();
    wake_();
    lock.lock();
  }
}

}  // namespace wardenix
