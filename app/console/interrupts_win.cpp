#include <windows.h>

#include <condition_variable>

#include "app/console/console_events_win.h"
#include "app/console/interrupts.h"
#include "runtime/mutex.h"

namespace wardenix {
namespace {

// What the handler shares with the watch. The system may call the handler
// on a thread of its own until the process ends, so this is never destroyed.
struct Watched {
  Mutex mutex;
  std::condition_variable_any watch_ended;
  // Empty while no watch lives.
  std::function<void()> on_interrupt GUARDED_BY(mutex);
  // Counts the watches that ended, so that a held event waits for its own.
  unsigned ended GUARDED_BY(mutex) = 0;
};

Watched& watched() {
  static Watched* const shared = new Watched;
  return *shared;
}

// The events after which the system ends the process once the handler returns.
bool ends_process(DWORD event) {
  return event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
}

}  // namespace

BOOL WINAPI on_console_event(DWORD event) {
  Watched& w = watched();
  MutexLock lock(w.mutex);
  if (!w.on_interrupt) return FALSE;
  // Under the lock: the watch's end waits for this call.
  w.on_interrupt();
  if (ends_process(event)) {
    const unsigned watch = w.ended;
    while (w.ended == watch) w.watch_ended.wait(lock);
  }
  return TRUE;
}

// Everything is process-wide, as the handler the system calls is.
struct InterruptWatch::State {};

InterruptWatch::InterruptWatch(std::function<void()> on_interrupt) {
  {
    Watched& w = watched();
    MutexLock lock(w.mutex);
    w.on_interrupt = std::move(on_interrupt);
  }
  SetConsoleCtrlHandler(on_console_event, TRUE);
}

InterruptWatch::~InterruptWatch() {
  SetConsoleCtrlHandler(on_console_event, FALSE);
  Watched& w = watched();
  MutexLock lock(w.mutex);
  w.on_interrupt = nullptr;
  ++w.ended;
  w.watch_ended.notify_all();
}

}  // namespace wardenix
