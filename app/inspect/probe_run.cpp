#include "app/inspect/probe_run.h"

#include <atomic>
#include <chrono>
#include <typeinfo>

#include "app/inspect/deadline_watch.h"
#include "runtime/error_code.h"
#include "supervisor/server_probe.h"

namespace wardenix {
namespace {

using SteadyClock = std::chrono::steady_clock;

double ms_between(SteadyClock::time_point from, SteadyClock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// Times the steps as they end, in order; the step under way is the first
// that has not ended.
class StepTimes {
 public:
  explicit StepTimes(ProbeReport& report) : report_(report) {}

  ProbeStep current() const { return current_.load(); }

  // Ends `step` when it is the one under way; a later report of an earlier
  // kind of step (the provider link prepares its own commands) is not one.
  void ended(ProbeStep step) {
    if (step != current() || finished_) return;
    const auto now = SteadyClock::now();
    report_.steps_ms.emplace_back(step, ms_between(last_, now));
    last_ = now;
    if (step == ProbeStep::PacketLoaded) {
      finished_ = true;
    } else {
      current_.store(static_cast<ProbeStep>(static_cast<int>(step) + 1));
    }
  }

  // Milliseconds since the last step ended, and since the start.
  double since_last_step() const { return ms_between(last_, SteadyClock::now()); }
  double since_start() const { return ms_between(start_, SteadyClock::now()); }

 private:
  ProbeReport& report_;
  const SteadyClock::time_point start_ = SteadyClock::now();
  SteadyClock::time_point last_ = start_;
  // Read by the deadline's thread.
  std::atomic<ProbeStep> current_{ProbeStep::TcpConnect};
  bool finished_ = false;
};

}  // namespace

ProbeStep probe_step_of(ConnectionPhase phase) {
  switch (phase) {
    case ConnectionPhase::TcpConnect: return ProbeStep::TcpConnect;
    case ConnectionPhase::Handshake: return ProbeStep::Handshake;
    case ConnectionPhase::ConnectMessage: return ProbeStep::ConnectMessage;
    case ConnectionPhase::Metadata: return ProbeStep::Metadata;
    case ConnectionPhase::Prepare: break;
  }
  return ProbeStep::Prepare;
}

namespace {

ProbeError error_of(const std::exception& failure) {
  ProbeError error;
  error.message = failure.what();
  if (const auto* known = dynamic_cast<const Exception*>(&failure)) {
    error.class_name = known->ClassName();
    error.code = ErrorCodeOf(*known);
  } else {
    error.class_name = typeid(failure).name();
  }
  return error;
}

}  // namespace

ProbeReport run_probe(const ProbeSettings& settings, const TDBXDriverRegistry& drivers) {
  ProbeReport report;
  report.host = settings.host;
  report.port = settings.port;
  report.warn_ms = settings.warn_ms;
  report.deadline_ms = settings.deadline_ms;

  // In the window's order, so that they go in reverse: the dataset leaves
  // the link, the link frees its commands, the connection disconnects last.
  TSQLConnection connection(drivers);
  TDSProviderConnection link(u"dssPrincipal");
  TClientDataSet dataset(u"cdsGet_Data");
  configure_server_connection(connection);
  link_answer_dataset(connection, link, dataset);
  dataset.SetRemoteServer(&link);
  set_server_address(connection, from_utf8(settings.host), to_ustring(settings.port));

  StepTimes steps(report);
  connection.OnPhase = [&steps](ConnectionPhase phase) { steps.ended(probe_step_of(phase)); };
  std::optional<ProbeStep> passed_in;
  DeadlineWatch deadline(connection, std::chrono::milliseconds(settings.deadline_ms),
                         [&passed_in, &steps] { passed_in = steps.current(); });
  try {
    connection.SetConnected(true);
    const Variant answer = run_probe_query(connection, kProbeQuery);
    steps.ended(ProbeStep::Execute);
    dataset.SetData(answer);
    // After a null answer the dataset is closed: it fetches its rows through
    // the provider link, as the window's probe does.
    report.null_answer = answer.is_null();
    dataset.Open();
    steps.ended(ProbeStep::PacketLoaded);
    for (const TFieldDef& column : dataset.FieldDefs()) report.columns.push_back(to_utf8(column.Name));
    report.rows = dataset.DSBase() ? dataset.DSBase()->RowCount() : 0;
  } catch (const std::exception& failure) {
    report.failed_step = steps.current();
    report.failed_step_ms = steps.since_last_step();
    report.error = error_of(failure);
  }
  report.total_ms = steps.since_start();
  if (deadline.stop()) {
    // The step it ended is the one named; one that ended by itself after the
    // deadline passed is named by where the deadline found it.
    report.deadline_passed = true;
    if (!report.failed_step) report.failed_step = passed_in;
  }
  if (report.failed_step) {
    report.status = ProbeStatus::Critical;
  } else if (settings.warn_ms && report.total_ms > *settings.warn_ms) {
    report.status = ProbeStatus::Warning;
  } else {
    report.status = ProbeStatus::Ok;
  }
  try {
    connection.SetConnected(false);
  } catch (const std::exception&) {
    // A connection broken by the failure cannot say goodbye; nothing to report.
  }
  return report;
}

}  // namespace wardenix
