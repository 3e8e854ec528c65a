#pragma once
// TDBXScheduler: the process-wide service that runs timed actions (the
// first-read timeout of the TCP layer). Its worker thread exists only while
// events are pending; every wait goes through the Clock.
#include <functional>
#include <memory>

#include "mainloop/clock.h"
#include "runtime/ustring.h"

namespace wardenix {

class TDBXScheduler {
 public:
  using Owner = const void*;

  explicit TDBXScheduler(Clock& clock);
  // Disarms every event; a running worker ends by itself. The clock must
  // outlive the worker.
  ~TDBXScheduler();
  TDBXScheduler(const TDBXScheduler&) = delete;
  TDBXScheduler& operator=(const TDBXScheduler&) = delete;

  // The process-wide scheduler, in real time.
  static TDBXScheduler& Instance();

  // Runs `action` on the worker thread once `delay` has passed. Failures of
  // the action are caught and remembered, never propagated.
  void AddEvent(Owner owner, Millis delay, std::function<void()> action);
  // Disarms the owner's pending events. When one of its actions is running
  // right now, waits until it has ended, so the owner may go away after.
  void CancelEvent(Owner owner);

  bool WorkerRunning() const;
  // The message of the last action that failed; empty when none did.
  UString LastError() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace wardenix
