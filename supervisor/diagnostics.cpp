#include "supervisor/diagnostics.h"

#include "dataset/client_dataset.h"
#include "dataset/data_store.h"
#include "runtime/error_code.h"
#include "sysops/system_error.h"
#include "sysops/system_ops.h"

namespace wardenix {
namespace {


// The follow-ups are looked at this often while any is due.
constexpr Millis kFollowUpTick{1000};

}  // namespace

UString describe_error(const std::exception& error) {
  const auto* own = dynamic_cast<const Exception*>(&error);
  if (!own) return from_utf8(error.what());
  UString text = from_utf8(own->ClassName());
  if (const auto code = ErrorCodeOf(*own)) {
    text += u' ';
    text += to_ustring(*code);
  }
  text += u": ";
  return text + own->Message();
}

UString describe_dataset(const TClientDataSet& dataset) {
  if (!dataset.Active()) return u"the dataset is closed";
  const DataStore* store = dataset.DSBase();
  UString text = u"the dataset is open with " + to_ustring_unsigned(store ? store->RowCount() : 0) + u" rows";
  const auto& columns = dataset.FieldDefs();
  if (!columns.empty()) {
    text += u", columns ";
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (i > 0) text += u", ";
      text += columns[i].Name;
    }
  }
  return text;
}

UString describe_termination(UStringView image_name, const TerminationReport& report) {
  UString text = u"kill: ";
  if (!report.tool_started) {
    return text + u"the task-ending tool could not be started: " + SystemErrorText(report.tool_error);
  }
  if (report.targets.empty()) return text + u"no " + UString(image_name) + u" process found";
  text += UString(image_name) + u" with its descendants:";
  for (const TerminationTarget& target : report.targets) {
    text += u" pid " + to_ustring_unsigned(target.pid);
    // Where the tool ends the processes, whether each ended shows only later.
#ifdef _WIN32
    text += target.ended ? u" ordered to end;" : u" not ended (" + SystemErrorText(target.error) + u");";
#else
    text += target.ended ? u" killed;" : u" not killed (" + SystemErrorText(target.error) + u");";
#endif
  }
  text.pop_back();
  return text;
}

UString describe_launch(UStringView command_line, const LaunchOutcome& outcome) {
  UString text = u"launch: " + UString(command_line);
  if (!outcome) return text + u" could not be started: " + SystemErrorText(outcome.error);
  return text + u" started, pid " + to_ustring_unsigned(outcome.pid);
}

DiagnosticSeverity termination_severity(const TerminationReport& report) {
  if (!report.tool_started) return DiagnosticSeverity::Error;
  for (const TerminationTarget& target : report.targets) {
    if (!target.ended) return DiagnosticSeverity::Error;
  }
  return DiagnosticSeverity::Warning;
}

DiagnosticStream::DiagnosticStream(EventLoop& loop, SystemOps& ops, FormatSettings formats,
                                   DiagnosticSink sink)
    : loop_(loop),
      ops_(ops),
      formats_(std::move(formats)),
      sink_(std::move(sink)),
      follow_up_timer_(loop, kFollowUpTick, false, [this] { check_follow_ups(); }) {}

void DiagnosticStream::Write(DiagnosticSeverity severity, UStringView text) {
  if (!sink_) return;
  const TDateTime now = loop_.clock().local_time();
  sink_(severity, format_date_time(u"yyyy-mm-dd hh:nn:ss", now, formats_) + u" " + UString(text));
}

LaunchOutcome DiagnosticStream::Launch(UStringView command_line) {
  LaunchOutcome outcome = ops_.LaunchProgram(command_line);
  if (enabled()) {
    Write(outcome ? DiagnosticSeverity::Information : DiagnosticSeverity::Error,
          describe_launch(command_line, outcome));
    if (outcome) follow_up({outcome.pid}, true);
  }
  return outcome;
}

TerminationReport DiagnosticStream::Terminate(UStringView image_name) {
  TerminationReport report = ops_.ForceTerminateServer();
  if (enabled()) {
    Write(termination_severity(report), describe_termination(image_name, report));
    std::vector<std::uint32_t> pids;
    for (const TerminationTarget& target : report.targets) {
      if (target.ended) pids.push_back(target.pid);
    }
    if (!pids.empty()) follow_up(std::move(pids), false);
  }
  return report;
}

void DiagnosticStream::follow_up(std::vector<std::uint32_t> pids, bool launched) {
  const Millis due = loop_.clock().now() + kFollowUpDelay;
  loop_.post([this, alive = std::weak_ptr<const bool>(alive_), pids = std::move(pids), launched,
              due] {
    if (alive.expired()) return;
    for (std::uint32_t pid : pids) follow_ups_.push_back({due, pid, launched});
    follow_up_timer_.set_enabled(true);
  });
}

void DiagnosticStream::check_follow_ups() {
  const Millis now = loop_.clock().now();
  std::vector<FollowUp> waiting;
  for (const FollowUp& f : follow_ups_) {
    if (f.due > now) {
      waiting.push_back(f);
    } else if (f.launched && !ops_.ProcessRunning(f.pid)) {
      Write(DiagnosticSeverity::Error, u"launch: the server started as pid " +
                                           to_ustring_unsigned(f.pid) +
                                           u" ended within 5 s of its start");
    } else if (!f.launched && ops_.ProcessRunning(f.pid)) {
      Write(DiagnosticSeverity::Error,
            u"kill: pid " + to_ustring_unsigned(f.pid) + u" still runs 5 s after the kill");
    }
  }
  follow_ups_.swap(waiting);
  if (follow_ups_.empty()) follow_up_timer_.set_enabled(false);
}

}  // namespace wardenix
