#include "app/inspect/probe_command.h"

#include <cstdio>
#include <optional>
#include <string>

#include "app/inspect/config_report.h"
#include "app/inspect/deadline_watch.h"
#include "app/inspect/json_writer.h"
#include "app/inspect/probe_report.h"
#include "app/inspect/probe_run.h"
#include "datasnap/datasnap_driver.h"

namespace wardenix {

namespace {

constexpr const char* kUsage =
    "usage: wardenix-inspect probe [HOST [PORT]] [--warn MS] [--deadline MS] [--json]\n";

struct CommandLine {
  std::optional<std::string_view> host;
  std::optional<std::string_view> port;
  ProbeSettings settings;
  bool json = false;
  std::string error;  // empty when the line was understood
};

CommandLine parse(const std::vector<std::string_view>& arguments) {
  CommandLine line;
  line.settings.deadline_ms = kDefaultDeadlineMs;
  // Known before any mistake, so that a usage error is reported as asked.
  for (const std::string_view argument : arguments) line.json = line.json || argument == "--json";
  for (std::size_t i = 0; i < arguments.size() && line.error.empty(); ++i) {
    const std::string_view argument = arguments[i];
    if (argument == "--json") continue;
    if (argument == "--warn" || argument == "--deadline") {
      const auto value = i + 1 < arguments.size() ? parse_milliseconds(arguments[++i]) : std::nullopt;
      if (!value || (argument == "--deadline" && *value == 0)) {
        line.error = std::string(argument);
        line.error.append(" needs a number of milliseconds");
      } else if (argument == "--warn") {
        line.settings.warn_ms = value;
      } else {
        line.settings.deadline_ms = *value;
      }
    } else if (argument.starts_with("-")) {
      line.error = "unknown option ";
      line.error.append(argument);
    } else if (!line.host) {
      line.host = argument;
    } else if (!line.port) {
      line.port = argument;
    } else {
      line.error = "too many arguments";
    }
  }
  if (!line.error.empty()) return line;
  if (line.host && line.host->empty()) {
    line.error = "the host is empty";
  } else if (line.port) {
    line.error = port_problem(from_utf8(*line.port));
  }
  return line;
}

// Host and port from the command line, else from rez.ini; false with the
// report's problem set when they cannot be used.
bool take_address(const CommandLine& line, ProbeSettings& settings, ProbeReport& report) {
  UString port;
  if (line.host && line.port) {
    settings.host = std::string(*line.host);
    port = from_utf8(*line.port);
  } else {
    // Host lookups are the connect's own business here: a host that does
    // not resolve makes the probe fail in its first phase.
    const ConfigReport config = check_config(own_config_file(), [](UStringView) { return std::nullopt; });
    settings.host = line.host ? std::string(*line.host) : to_utf8(config.host.value);
    port = line.port ? from_utf8(*line.port) : config.port.value;
    const auto unusable = [&](const ConfigValue& value, const std::string& problem) {
      report.problem = "rez.ini (";
      report.problem.append(to_utf8(config.file)).append("): ").append(value.key).append(": ");
      report.problem.append(problem);
    };
    if (!line.host && settings.host.empty()) {
      unusable(config.host, "the host is empty");
    } else if (!line.port && !config.port.problem.empty()) {
      unusable(config.port, config.port.problem);
    }
  }
  report.host = settings.host;
  if (!report.problem.empty()) return false;
  settings.port = static_cast<std::uint16_t>(std::stoul(to_utf8(port)));
  return true;
}

void print(const ProbeReport& report, bool json) {
  if (json) {
    JsonWriter writer;
    write_probe_json(report, writer);
    std::printf("%s\n", writer.text().c_str());
  } else {
    std::fputs(probe_text(report).c_str(), stdout);
  }
}

}  // namespace

int run_probe_command(const std::vector<std::string_view>& arguments) {
  CommandLine line = parse(arguments);
  ProbeReport report;
  report.deadline_ms = line.settings.deadline_ms;
  if (!line.error.empty()) {
    report.problem = "usage error: ";
    report.problem.append(line.error);
    print(report, line.json);
    std::fputs(kUsage, stderr);
    return static_cast<int>(ProbeStatus::Unknown);
  }
  if (!take_address(line, line.settings, report)) {
    print(report, line.json);
    return static_cast<int>(ProbeStatus::Unknown);
  }
  report = run_probe(line.settings, default_driver_registry());
  print(report, line.json);
  return static_cast<int>(report.status);
}

}  // namespace wardenix
