#include <pthread.h>
#include <signal.h>

#include <thread>

#include "app/console/interrupts.h"

namespace wardenix {

void watch_for_interrupts(std::function<void()> on_interrupt) {
  // Blocked here, the signals reach only the thread that waits for them.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread([set, on_interrupt = std::move(on_interrupt)] {
    int signal_number = 0;
    while (sigwait(&set, &signal_number) == 0) on_interrupt();
  }).detach();
}

}  // namespace wardenix
