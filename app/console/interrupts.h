#pragma once
// Ctrl+C and termination requests, delivered as a call on an ordinary thread.
#include <functional>

namespace wardenix {

// Calls `on_interrupt` (from a thread of its own) when the user or the system
// asks the program to end. Call once, before any other thread starts.
void watch_for_interrupts(std::function<void()> on_interrupt);

}  // namespace wardenix
