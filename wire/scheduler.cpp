#include "wire/scheduler.h"

#include <condition_variable>
#include <list>

#include "runtime/errors.h"
#include "runtime/mutex.h"

namespace wardenix {

struct TDBXScheduler::State {
  explicit State(Clock& c) : clock(c), wake(c.make_signal()) {}

  struct Event {
    Millis due;
    Owner owner;
    std::function<void()> action;
  };

  Clock& clock;
  std::unique_ptr<WakeSignal> wake;
  Mutex mutex;
  std::condition_variable_any action_done;
  std::list<Event> events GUARDED_BY(mutex);  // sorted by due time
  bool worker_running GUARDED_BY(mutex) = false;
  Owner running_owner GUARDED_BY(mutex) = nullptr;
  UString last_error GUARDED_BY(mutex);
};

namespace {

using State = TDBXScheduler::State;

void run_worker(const std::shared_ptr<State>& state) {
  MutexLock lock(state->mutex);
  for (;;) {
    if (state->events.empty()) {
      state->worker_running = false;
      return;
    }
    const Millis due = state->events.front().due;
    if (due > state->clock.now()) {
      lock.unlock();
      state->wake->wait_until(due);
      lock.lock();
      continue;
    }
    State::Event event = std::move(state->events.front());
    state->events.pop_front();
    state->running_owner = event.owner;
    lock.unlock();
    UString failure;
    try {
      event.action();
    } catch (const Exception& e) {
      failure = e.Message();
    } catch (const std::exception& e) {
      failure = from_utf8(e.what());
    } catch (...) {
      failure = u"Unknown failure";
    }
    lock.lock();
    if (!failure.empty()) state->last_error = std::move(failure);
    state->running_owner = nullptr;
    state->action_done.notify_all();
  }
}

}  // namespace

TDBXScheduler::TDBXScheduler(Clock& clock) : state_(std::make_shared<State>(clock)) {}

TDBXScheduler::~TDBXScheduler() {
  MutexLock lock(state_->mutex);
  state_->events.clear();
  state_->wake->set();
}

TDBXScheduler& TDBXScheduler::Instance() {
  // Never destroyed: a worker may still be ending while the process exits.
  static TDBXScheduler* const instance = new TDBXScheduler(*make_system_clock().release());
  return *instance;
}

void TDBXScheduler::AddEvent(Owner owner, Millis delay, std::function<void()> action) {
  MutexLock lock(state_->mutex);
  const Millis now = state_->clock.now();
  const Millis due = delay >= kNoDeadline - now ? kNoDeadline : now + delay;
  auto at = state_->events.begin();
  while (at != state_->events.end() && at->due <= due) ++at;
  state_->events.insert(at, State::Event{due, owner, std::move(action)});
  if (!state_->worker_running) {
    state_->worker_running = true;
    state_->clock.start_thread([state = state_] { run_worker(state); });
  } else {
    state_->wake->set();
  }
}

void TDBXScheduler::CancelEvent(Owner owner) {
  MutexLock lock(state_->mutex);
  const auto before = state_->events.size();
  state_->events.remove_if([owner](const State::Event& e) { return e.owner == owner; });
  if (state_->events.size() != before) state_->wake->set();
  while (state_->running_owner == owner) state_->action_done.wait(lock);
}

bool TDBXScheduler::WorkerRunning() const {
  MutexLock lock(state_->mutex);
  return state_->worker_running;
}

UString TDBXScheduler::LastError() const {
  MutexLock lock(state_->mutex);
  return state_->last_error;
}

}  // namespace wardenix
