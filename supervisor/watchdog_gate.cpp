#include "supervisor/watchdog_gate.h"

namespace wardenix {

bool WatchdogGate::act(const std::function<void()>& step) {
  ReaderLock lock(acting_);
  if (stop_.stop_requested()) return false;
  step();
  return true;
}

void WatchdogGate::close() { stop_.request_stop(); }

void WatchdogGate::quit() {
  close();
  // Taking the gate exclusively waits for every step under way.
  WriterLock lock(acting_);
}

}  // namespace wardenix
