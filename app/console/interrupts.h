#pragma once
// Ctrl+C and termination requests, delivered as a call on an ordinary thread.
#include <functional>
#include <memory>

namespace wardenix {

// Calls `on_interrupt` (from a thread of its own) when the user or the system
// asks the program to end, for as long as the watch lives. Create it on the
// main thread before any other thread starts, and let it go there, before
// whatever `on_interrupt` touches: its end waits for a call under way, and
// afterwards no call comes; a request then takes its usual course (the
// program ends).
//
// On Windows, a console close, logoff or shutdown ends the process as soon
// as the handler the system calls returns: the handler returns only once the
// watch is let go, so the orderly quit runs before the process ends, within
// the time the system gives (about 5 s for a close, 20 s for a logoff or a
// shutdown). Ctrl+C and Ctrl+Break return at once.
class InterruptWatch {
 public:
  explicit InterruptWatch(std::function<void()> on_interrupt);
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace wardenix
