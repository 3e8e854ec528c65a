#pragma once
// The diagnostic stream: for the administrator, what each server check did
// and why, beside the activity log, whose texts stay as they are. Its lines
// come from the main thread and from the watchdogs.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "mainloop/event_loop.h"
#include "runtime/datetime.h"
#include "runtime/ustring.h"
#include "sysops/launch.h"
#include "sysops/termination.h"

namespace wardenix {

class SystemOps;
class TClientDataSet;

// What a line reports, as the place that writes it knows it: a step that
// went as it should, one that the watchdog acts against (a server it cannot
// reach or that fails its probe, a kill and the decision to kill or start),
// or one whose failure leaves the server down (a launch that failed, a
// server that ended at once, a kill that did not end it). Sinks that can
// show it do so (the Windows Event Log's event types); the text is the same.
enum class DiagnosticSeverity { Information, Warning, Error };

// Takes each finished line; called from any thread, one line at a time.
using DiagnosticSink = std::function<void(DiagnosticSeverity severity, const UString& line)>;

// The texts of the lines, without their time stamps.
UString describe_error(const std::exception& error);
UString describe_dataset(const TClientDataSet& dataset);
UString describe_termination(UStringView image_name, const TerminationReport& report);
UString describe_launch(UStringView command_line, const LaunchOutcome& outcome);
// What a kill's line reports: an error when a process may still run.
DiagnosticSeverity termination_severity(const TerminationReport& report);

class DiagnosticStream {
 public:
  // How long after a launch or a kill the processes concerned are looked at
  // again, so that a server that ends at once, or one that outlives its
  // kill, is named.
  static constexpr Millis kFollowUpDelay{5000};

  // An empty sink turns the stream off: nothing is formatted or followed up.
  DiagnosticStream(EventLoop& loop, SystemOps& ops, FormatSettings formats, DiagnosticSink sink);
  DiagnosticStream(const DiagnosticStream&) = delete;
  DiagnosticStream& operator=(const DiagnosticStream&) = delete;

  bool enabled() const { return static_cast<bool>(sink_); }
  // Any thread: writes `text` stamped with the clock's local time.
  void Write(DiagnosticSeverity severity, UStringView text);

  // Any thread: launch and kill through the system operations, with their
  // lines and follow-ups.
  LaunchOutcome Launch(UStringView command_line);
  TerminationReport Terminate(UStringView image_name);

 private:
  struct FollowUp {
    Millis due;
    std::uint32_t pid;
    bool launched;  // else killed
  };
  void follow_up(std::vector<std::uint32_t> pids, bool launched);
  void check_follow_ups();

  EventLoop& loop_;
  SystemOps& ops_;
  // Work handed to the main thread runs only while the stream is there.
  std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
  const FormatSettings formats_;
  const DiagnosticSink sink_;
  // Main thread only.
  Timer follow_up_timer_;
  std::vector<FollowUp> follow_ups_;
};

}  // namespace wardenix
