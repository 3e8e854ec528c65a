#include "app/inspect/probe_report.h"

#include <cstdio>
#include <string_view>

#include "app/inspect/join_text.h"

namespace wardenix {
namespace {

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// The status line is one line whatever a server's message holds.
std::string one_line(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

std::string address(const ProbeReport& report) {
  return join({report.host, ":", report.port ? std::to_string(*report.port) : "?"});
}

std::string error_text(const ProbeError& error) {
  std::string text = error.class_name;
  if (error.code) text.append(join({" (code ", std::to_string(*error.code), ")"}));
  return join({text, ": ", error.message});
}

// time=S;WARN;CRIT;0 in seconds, the usual performance data of a check.
std::string performance_data(const ProbeReport& report) {
  return join({"time=", fixed(report.total_ms / 1000, 6), "s;",
               report.warn_ms ? fixed(*report.warn_ms / 1000.0, 3) : "", ";",
               fixed(report.deadline_ms / 1000.0, 3), ";0"});
}

std::string summary(const ProbeReport& report) {
  if (report.status == ProbeStatus::Unknown) return report.problem;
  if (report.failed_step) {
    const std::string step = probe_step_name(*report.failed_step);
    if (report.deadline_passed) {
      return join({address(report), " did not answer within the deadline of ",
                   std::to_string(report.deadline_ms), " ms: ended in ", step});
    }
    return join({address(report), " failed in ", step, ": ",
                 report.error ? error_text(*report.error) : "no error was given"});
  }
  std::string text = join({address(report), " answered ", std::to_string(report.rows.value_or(0)),
                           report.rows == 1u ? " row" : " rows", " in ", fixed(report.total_ms, 1), " ms"});
  if (report.status == ProbeStatus::Warning) {
    text.append(join({", above ", std::to_string(report.warn_ms.value_or(0)), " ms"}));
  }
  return text;
}

}  // namespace

const char* probe_status_word(ProbeStatus status) {
  switch (status) {
    case ProbeStatus::Ok: return "OK";
    case ProbeStatus::Warning: return "WARNING";
    case ProbeStatus::Critical: return "CRITICAL";
    case ProbeStatus::Unknown: break;
  }
  return "UNKNOWN";
}

const char* probe_step_name(ProbeStep step) {
  switch (step) {
    case ProbeStep::TcpConnect: return "tcp connect";
    case ProbeStep::Handshake: return "handshake";
    case ProbeStep::ConnectMessage: return "connect message";
    case ProbeStep::Metadata: return "metadata";
    case ProbeStep::Prepare: return "prepare";
    case ProbeStep::Execute: return "execute";
    case ProbeStep::PacketLoaded: break;
  }
  return "packet loaded";
}

std::string probe_text(const ProbeReport& report) {
  std::string out = join({"PROBE ", probe_status_word(report.status), " - ", one_line(summary(report))});
  if (report.status == ProbeStatus::Unknown) return out + "\n";
  out.append(join({" | ", performance_data(report), "\n"}));
  const auto step_line = [&out](std::string_view name, std::string_view what) {
    out.append(join({name, ":", std::string(17 - name.size(), ' '), what, "\n"}));
  };
  for (const auto& [step, ms] : report.steps_ms) {
    step_line(probe_step_name(step), join({fixed(ms, 2), " ms"}));
  }
  if (report.failed_step) {
    step_line(probe_step_name(*report.failed_step),
              join({report.deadline_passed ? "ended by the deadline after " : "failed after ",
                    fixed(report.failed_step_ms, 2), " ms"}));
    if (report.error) out.append(join({"error: ", error_text(*report.error), "\n"}));
    return out;
  }
  if (report.null_answer) out.append("answer: null; the dataset fetched its rows through the provider link\n");
  out.append("columns:");
  for (const std::string& column : report.columns) out.append(join({" ", column}));
  out.append(join({"\nrows: ", std::to_string(report.rows.value_or(0)), "\n"}));
  return out;
}

void write_probe_json(const ProbeReport& report, JsonWriter& json) {
  json.begin_object();
  json.key("status").string(probe_status_word(report.status));
  json.key("host").string(report.host);
  json.key("port");
  if (report.port) {
    json.unsigned_integer(*report.port);
  } else {
    json.null();
  }
  json.key("problem");
  if (report.problem.empty()) {
    json.null();
  } else {
    json.string(report.problem);
  }
  json.key("phases").begin_array();
  for (const auto& [step, ms] : report.steps_ms) {
    json.begin_object().key("name").string(probe_step_name(step)).key("ms").number(ms).end_object();
  }
  json.end_array();
  json.key("failed_phase");
  if (report.failed_step) {
    json.string(probe_step_name(*report.failed_step));
  } else {
    json.null();
  }
  json.key("failed_phase_ms");
  if (report.failed_step) {
    json.number(report.failed_step_ms);
  } else {
    json.null();
  }
  json.key("deadline_passed").boolean(report.deadline_passed);
  json.key("deadline_ms").unsigned_integer(report.deadline_ms);
  json.key("error");
  if (report.error) {
    json.begin_object();
    json.key("class").string(report.error->class_name);
    json.key("message").string(report.error->message);
    json.key("code");
    if (report.error->code) {
      json.integer(*report.error->code);
    } else {
      json.null();
    }
    json.end_object();
  } else {
    json.null();
  }
  json.key("null_answer").boolean(report.null_answer);
  json.key("columns").begin_array();
  for (const std::string& column : report.columns) json.string(column);
  json.end_array();
  json.key("rows");
  if (report.rows) {
    json.unsigned_integer(*report.rows);
  } else {
    json.null();
  }
  json.key("total_ms").number(report.total_ms);
  json.end_object();
}

}  // namespace wardenix
