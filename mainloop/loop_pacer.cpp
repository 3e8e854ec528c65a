#include "mainloop/loop_pacer.h"

#include <utility>

namespace wardenix {

LoopPacer::LoopPacer(EventLoop& loop, std::function<void()> wake, std::function<void()> on_quit)
    : loop_(loop), wake_(std::move(wake)), on_quit_(std::move(on_quit)) {
  helper_ = std::thread([this] { pace(); });
}

LoopPacer::~LoopPacer() {
  {
    MutexLock lock(mutex_);
    if (state_ == State::Armed) loop_.clock().release_time();
    state_ = State::Stopping;
  }
  loop_.interrupt_wait();
  changed_.notify_all();
  helper_.join();
  // The loop's thread goes on without a window system's loop: it runs.
  MutexLock lock(mutex_);
  if (!holding_time_) loop_.clock().hold_time();
}

void LoopPacer::run(const std::function<void()>& model_code) {
  loop_.assert_on_loop_thread("LoopPacer::run");
  hold();
  {
    MutexLock lock(mutex_);
    ++depth_;
    update_time_hold();
  }
  struct Leave {
    LoopPacer& pacer;
    ~Leave() {
      bool back_in_modal;
      {
        MutexLock lock(pacer.mutex_);
        back_in_modal = --pacer.depth_ == pacer.modal_depth_;
      }
      // Armed before the loop's thread may let go of time.
      if (back_in_modal) pacer.arm();
      MutexLock lock(pacer.mutex_);
      pacer.update_time_hold();
    }
  } leave{*this};
  model_code();
}

void LoopPacer::run_due() {
  run([this] {
    {
      // Whatever woke the helper before now runs here, so every wake posted
      // so far is answered, even one that a modal loop took and dropped.
      MutexLock lock(mutex_);
      wake_pending_ = false;
      update_time_hold();
    }
    loop_.run_ready();
  });
}

void LoopPacer::modal(const std::function<void()>& modal_loop) {
  loop_.assert_on_loop_thread("LoopPacer::modal");
  int outer;
  {
    MutexLock lock(mutex_);
    outer = modal_depth_;
    modal_depth_ = depth_;
  }
  // Armed first, so that the helper holds time before the loop's thread lets
  // go of it.
  arm();
  {
    // Until the modal loop says otherwise, it waits for messages.
    MutexLock lock(mutex_);
    loop_awake_ = false;
    update_time_hold();
  }
  struct Leave {
    LoopPacer& pacer;
    int outer;
    ~Leave() {
      {
        // The loop that opened the modal one runs the code that follows it.
        MutexLock lock(pacer.mutex_);
        pacer.loop_awake_ = true;
        pacer.update_time_hold();
      }
      pacer.hold();
      MutexLock lock(pacer.mutex_);
      pacer.modal_depth_ = outer;
      pacer.update_time_hold();
    }
  } leave{*this, outer};
  modal_loop();
}

void LoopPacer::about_to_block() {
  loop_.assert_on_loop_thread("LoopPacer::about_to_block");
  MutexLock lock(mutex_);
  loop_awake_ = false;
  update_time_hold();
}

void LoopPacer::awoken() {
  loop_.assert_on_loop_thread("LoopPacer::awoken");
  MutexLock lock(mutex_);
  loop_awake_ = true;
  update_time_hold();
}

void LoopPacer::message_posted() {
  MutexLock lock(mutex_);
  ++messages_pending_;
  update_time_hold();
}

void LoopPacer::message_taken() {
  loop_.assert_on_loop_thread("LoopPacer::message_taken");
  MutexLock lock(mutex_);
  if (messages_pending_ > 0) --messages_pending_;
  loop_awake_ = true;
  update_time_hold();
}

void LoopPacer::update_time_hold() {
  // One share for all of these: time moves on while model code sleeps on the
  // clock, whatever waits in the queue meanwhile.
  const bool busy = depth_ > modal_depth_ || loop_awake_ || wake_pending_ || messages_pending_ > 0;
  if (busy == holding_time_) return;
  holding_time_ = busy;
  if (busy) {
    loop_.clock().hold_time();
  } else {
    loop_.clock().release_time();
  }
}

void LoopPacer::hold() {
  MutexLock lock(mutex_);
  if (state_ == State::Armed) {
    state_ = State::Idle;
    loop_.clock().release_time();
  }
  if (state_ != State::Waiting) return;
  interrupted_ = true;
  loop_.interrupt_wait();
  while (state_ == State::Waiting) changed_.wait(lock);
}

void LoopPacer::arm() {
  loop_.assert_on_loop_thread("LoopPacer::arm");
  if (loop_.quitting()) {
    if (!quit_reported_ && on_quit_) {
      quit_reported_ = true;
      on_quit_();
    }
    return;
  }
  const Millis deadline = loop_.next_deadline();
  {
    MutexLock lock(mutex_);
    if (state_ != State::Idle) return;
    deadline_ = deadline;
    state_ = State::Armed;
    // The helper takes part in the clock from now until it has handed over
    // what its wait brought: time must not pass it by before it waits.
    loop_.clock().hold_time();
  }
  changed_.notify_all();
}

void LoopPacer::pace() {
  Clock& clock = loop_.clock();
  MutexLock lock(mutex_);
  for (;;) {
    while (state_ != State::Armed && state_ != State::Stopping) changed_.wait(lock);
    if (state_ == State::Stopping) return;
    state_ = State::Waiting;
    const Millis deadline = deadline_;
    lock.unlock();
    loop_.wait_for_work(deadline);
    lock.lock();
    if (state_ == State::Stopping) {
      lock.unlock();
      clock.release_time();
      return;
    }
    state_ = State::Idle;
    changed_.notify_all();
    // After `hold` the model code runs anyway, and work posted meanwhile is
    // due at once when the helper is armed again.
    if (std::exchange(interrupted_, false)) {
      lock.unlock();
      clock.release_time();
      lock.lock();
      continue;
    }
    // The wake holds time until it is handled, before the helper lets go.
    wake_pending_ = true;
    update_time_hold();
    lock.unlock();
    wake_();
    clock.release_time();
    lock.lock();
  }
}

}  // namespace wardenix
