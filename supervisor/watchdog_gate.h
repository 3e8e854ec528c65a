#pragma once
// What the main window shares with its watchdog threads for their whole
// lives: sleeps that quitting ends at once, and a gate that no watchdog
// passes once the program quits. It outlives the window, so that a woken
// watchdog never touches anything that is gone.
#include <functional>
#include <memory>

#include "mainloop/clock.h"
#include "mainloop/stop_flag.h"
#include "runtime/mutex.h"

namespace wardenix {

class WatchdogGate {
 public:
  explicit WatchdogGate(Clock& clock) : clock_(clock), stop_(clock) {}

  Clock& clock() { return clock_; }
  // False when the program quits before or during the sleep.
  bool sleep_for(Millis duration) { return stop_.sleep_for(duration); }
  // Runs `step` unless the program quits; false when it did not run. Quitting
  // waits for a step that is running, so none runs afterwards.
  bool act(const std::function<void()>& step) EXCLUDES(acting_);
  // Lets no further step start and ends every sleep, without waiting.
  void close();
  // Closes the gate and waits for the steps under way.
  void quit() EXCLUDES(acting_);
  bool quitting() const { return stop_.stop_requested(); }

 private:
  Clock& clock_;
  StopFlag stop_;
  // Held shared by each step under way, exclusively by `quit`.
  SharedMutex acting_;
};

// The newest watchdog of a kind, as the window's reference fields hold it.
struct WatchdogThread {
  enum class Kind { Conexao, Comando };
  Kind kind;
  std::uint64_t serial;
};
using WatchdogRef = std::shared_ptr<const WatchdogThread>;

}  // namespace wardenix
