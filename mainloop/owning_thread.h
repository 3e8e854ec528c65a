#pragma once
// The one thread that may use some state, checked in debug builds: the first
// thread that checks becomes the owner, and a check from any other thread
// ends the program with a message naming the call. Release builds keep
// nothing and check nothing.
#ifndef NDEBUG
#include <atomic>
#include <thread>
#endif

namespace wardenix {

class OwningThread {
 public:
#ifdef NDEBUG
  void check(const char*) const {}
#else
  // `what` names the call for the message, e.g. "Timer::set_enabled".
  void check(const char* what) const;

 private:
  mutable std::atomic<std::thread::id> owner_{};
#endif
};

}  // namespace wardenix
