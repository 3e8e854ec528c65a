#pragma once
// The error and trace context of a connection: every error that the
// connection's layers produce goes through it, so that an installed handler
// sees the error before it is raised.
#include <cstdint>
#include <functional>

#include "dbx/connection_phase.h"
#include "runtime/errors.h"
#include "runtime/ustring.h"

namespace wardenix {

class TDBXContext {
 public:
  using ErrorHandler = std::function<void(const TDBXError&)>;
  using TraceSink = std::function<void(UStringView)>;

  void SetOnError(ErrorHandler handler) { on_error_ = std::move(handler); }
  // Tracing is on while a sink is set.
  void SetTraceSink(TraceSink sink) { trace_ = std::move(sink); }
  bool IsTracing() const { return static_cast<bool>(trace_); }
  void Trace(UStringView text) const {
    if (trace_) trace_(text);
  }

  // Diagnostics: the connection and its commands tell the observer, when one
  // is set, of each phase they finish.
  void SetPhaseObserver(PhaseObserver observer) { phase_observer_ = std::move(observer); }
  bool IsObservingPhases() const { return static_cast<bool>(phase_observer_); }
  void PhaseDone(ConnectionPhase phase) const {
    if (phase_observer_) phase_observer_(phase);
  }

  // Calls the error handler, when one is set, then raises the error.
  [[noreturn]] void Error(std::int32_t code, UString message) const {
    TDBXError error(code, std::move(message));
    if (on_error_) on_error_(error);
    throw error;
  }

 private:
  ErrorHandler on_error_;
  TraceSink trace_;
  PhaseObserver phase_observer_;
};

}  // namespace wardenix
