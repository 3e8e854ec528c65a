#include "supervisor/watchdog_gate.h"

#include <mutex>

namespace wardenix {

bool WatchdogGate::act(const std::function<void()>& step) {
  std::shared_lock lock(acting_);
  if (stop_.stop_requested()) return false;
  step();
  return true;
}

void WatchdogGate::close() { stop_.request_stop(); }

void WatchdogGate::quit() {
  close();
  // Taking the gate exclusively waits for every step under way.
  std::unique_lock lock(acting_);
}

}  // namespace wardenix
