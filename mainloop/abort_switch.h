#pragma once
// A switch that another thread trips to end a connection's blocked connect,
// read or write at once. Holders share it, so tripping it after the channel
// is gone does nothing harmful. A socket that waits attaches a waker for the
// time it exists; tripping calls the waker under the switch's lock, and
// detaching takes the same lock, so a waker never runs on a closed socket.
#include <functional>

#include "runtime/mutex.h"

namespace wardenix {

class AbortSwitch {
 public:
  // Idempotent; safe from any thread.
  void Trip() EXCLUDES(mutex_);
  bool Tripped() const EXCLUDES(mutex_);

  // Installs the waker; it runs at once when the switch is already tripped.
  void Attach(std::function<void()> waker) EXCLUDES(mutex_);
  void Detach() EXCLUDES(mutex_);

 private:
  mutable Mutex mutex_;
  bool tripped_ GUARDED_BY(mutex_) = false;
  std::function<void()> waker_ GUARDED_BY(mutex_);
};

}  // namespace wardenix
