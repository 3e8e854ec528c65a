#pragma once
// A switch that another thread trips to end a connection's blocked connect,
// read or write at once. Holders share it, so tripping it after the channel
// is gone does nothing harmful. A socket that waits attaches a waker for the
// time it exists; tripping calls the waker under the switch's lock, and
// detaching takes the same lock, so a waker never runs on a closed socket.
#include <functional>
#include <mutex>

namespace wardenix {

class AbortSwitch {
 public:
  // Idempotent; safe from any thread.
  void Trip();
  bool Tripped() const;

  // Installs the waker; it runs at once when the switch is already tripped.
  void Attach(std::function<void()> waker);
  void Detach();

 private:
  mutable std::mutex mutex_;
  bool tripped_ = false;
  std::function<void()> waker_;
};

}  // namespace wardenix
