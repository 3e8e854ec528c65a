#include "supervisor/watchdog_gate.h"

#include <mutex>

namespace wardenix {

bool WatchdogGate::act(const std::function<void()>& step) {
  std::shared_lock lock(acting_);
  if (stop_.stop_requested()) return false;
  step();
  return true;
}

void WatchdogGate::quit() {
  stop_.request_stop();
  // Taking the gate exclusively waits for every step under way.
  std::unique_lock lock(acting_);
}

}  // namespace wardenix
