#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include "app/console/interrupts.h"

namespace wardenix {

struct InterruptWatch::State {
  sigset_t watched;
  sigset_t before;  // the installing thread's mask, given back at the end
  std::function<void()> on_interrupt;
  std::atomic<bool> ending{false};
  std::thread waiter;
};

InterruptWatch::InterruptWatch(std::function<void()> on_interrupt)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.on_interrupt = std::move(on_interrupt);
  // Blocked here, and in every thread started afterwards, the signals reach
  // only the thread that waits for them.
  sigemptyset(&s.watched);
  sigaddset(&s.watched, SIGINT);
  sigaddset(&s.watched, SIGTERM);
  sigaddset(&s.watched, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &s.watched, &s.before);
  s.waiter = std::thread([&s] {
    int signal_number = 0;
    while (sigwait(&s.watched, &signal_number) == 0 && !s.ending) s.on_interrupt();
  });
}

InterruptWatch::~InterruptWatch() {
  State& s = *state_;
  // A signal of its own wakes the waiter, which then ends; a call under way
  // finishes first.
  s.ending = true;
  pthread_kill(s.waiter.native_handle(), SIGHUP);
  s.waiter.join();
  // A request from now on, or one that came since the waiter ended, takes
  // its usual course.
  pthread_sigmask(SIG_SETMASK, &s.before, nullptr);
}

}  // namespace wardenix
