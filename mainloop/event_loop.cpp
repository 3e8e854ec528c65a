#include "mainloop/event_loop.h"

#include <algorithm>
#include <utility>

namespace wardenix {

struct EventLoop::TimerState {
  Millis interval{0};
  bool enabled = false;
  Millis due{0};
  bool pending = false;
  Millis pending_since{0};
  std::uint64_t sequence = 0;
  std::function<void()> handler;
};

EventLoop::EventLoop(Clock& clock) : clock_(clock), wake_(clock.make_signal()) {}

EventLoop::~EventLoop() {
  MutexLock lock(mutex_);
  finished_ = true;
  posted_.clear();
}

void EventLoop::post(std::function<void()> task) {
  MutexLock lock(mutex_);
  if (finished_) return;
  posted_.push_back(std::move(task));
  wake_->set();
}

void EventLoop::quit() {
  MutexLock lock(mutex_);
  quit_ = true;
  wake_->set();
}

bool EventLoop::quitting() const {
  MutexLock lock(mutex_);
  return quit_;
}

bool EventLoop::dispatch_one() {
  assert_on_loop_thread("EventLoop::dispatch_one");
  std::function<void()> task;
  {
    MutexLock lock(mutex_);
    if (!posted_.empty()) {
      task = std::move(posted_.front());
      posted_.pop_front();
    }
  }
  if (task) {
    task();
    return true;
  }
  const Millis now = clock_.now();
  TimerState* chosen = nullptr;
  for (TimerState* t : timers_) {
    if (!t->enabled || t->interval <= Millis{0}) continue;
    if (now >= t->due) {
      if (!t->pending) {
        t->pending = true;
        t->pending_since = t->due;
      }
      // Ticks missed while a handler ran collapse into the one pending tick.
      const auto missed = (now - t->due) / t->interval + 1;
      t->due += t->interval * missed;
    }
    if (t->pending && (!chosen || std::pair(t->pending_since, t->sequence) <
                                      std::pair(chosen->pending_since, chosen->sequence))) {
      chosen = t;
    }
  }
  if (!chosen) return false;
  chosen->pending = false;
  const auto handler = chosen->handler;
  if (handler) handler();
  return true;
}

Millis EventLoop::next_deadline() {
  assert_on_loop_thread("EventLoop::next_deadline");
  {
    MutexLock lock(mutex_);
    if (!posted_.empty()) return clock_.now();
  }
  Millis next = kNoDeadline;
  for (const TimerState* t : timers_) {
    if (t->enabled && t->interval > Millis{0}) next = std::min(next, t->due);
  }
  return next;
}

void EventLoop::wait(Millis deadline) { wake_->wait_until(deadline); }

void EventLoop::run() {
  assert_on_loop_thread("EventLoop::run");
  while (!quitting()) {
    if (!dispatch_one()) wait(next_deadline());
  }
  MutexLock lock(mutex_);
  finished_ = true;
  posted_.clear();
}

void EventLoop::run_ready() {
  assert_on_loop_thread("EventLoop::run_ready");
  while (!quitting() && dispatch_one()) {
  }
}

void EventLoop::run_until(Millis until) {
  assert_on_loop_thread("EventLoop::run_until");
  while (!quitting()) {
    if (dispatch_one()) continue;
    if (clock_.now() >= until) {
      // Let threads released at this instant finish what they do, then run
      // anything they handed over.
      clock_.quiesce();
      if (dispatch_one()) continue;
      return;
    }
    wait(std::min(next_deadline(), until));
  }
}

Timer::Timer(EventLoop& loop, Millis interval, bool enabled, std::function<void()> on_timer)
    : loop_(loop), state_(std::make_unique<EventLoop::TimerState>()) {
  loop_.assert_on_loop_thread("Timer::Timer");
  state_->interval = interval;
  state_->handler = std::move(on_timer);
  state_->sequence = loop_.next_sequence_++;
  loop_.timers_.push_back(state_.get());
  set_enabled(enabled);
}

Timer::~Timer() {
  loop_.assert_on_loop_thread("Timer::~Timer");
  std::erase(loop_.timers_, state_.get());
}

void Timer::set_enabled(bool enabled) {
  loop_.assert_on_loop_thread("Timer::set_enabled");
  if (enabled == state_->enabled) return;
  state_->enabled = enabled;
  state_->pending = false;
  if (enabled) state_->due = loop_.clock().now() + state_->interval;
}

bool Timer::enabled() const {
  loop_.assert_on_loop_thread("Timer::enabled");
  return state_->enabled;
}

void Timer::set_interval(Millis interval) {
  loop_.assert_on_loop_thread("Timer::set_interval");
  state_->interval = interval;
  if (state_->enabled) {
    state_->pending = false;
    state_->due = loop_.clock().now() + interval;
  }
}

Millis Timer::interval() const {
  loop_.assert_on_loop_thread("Timer::interval");
  return state_->interval;
}

void Timer::set_on_timer(std::function<void()> handler) {
  loop_.assert_on_loop_thread("Timer::set_on_timer");
  state_->handler = std::move(handler);
}

}  // namespace wardenix
