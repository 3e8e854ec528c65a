#pragma once
// wardenix-inspect probe: what one run of the watchdog's connect and probe
// showed, in the status words and exit codes of monitoring plugins.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/inspect/json_writer.h"

namespace wardenix {

// The values are the exit codes.
enum class ProbeStatus { Ok = 0, Warning = 1, Critical = 2, Unknown = 3 };

const char* probe_status_word(ProbeStatus status);

// The steps of a probe in order: the connection's, then the remote query's,
// then the loading of its answer.
enum class ProbeStep { TcpConnect, Handshake, ConnectMessage, Metadata, Prepare, Execute, PacketLoaded };

const char* probe_step_name(ProbeStep step);

struct ProbeError {
  std::string class_name;
  std::string message;
  std::optional<std::int32_t> code;
};

struct ProbeReport {
  ProbeStatus status = ProbeStatus::Unknown;
  std::string host;
  std::optional<std::uint16_t> port;  // none: no usable port
  // The steps that ended well, with their times.
  std::vector<std::pair<ProbeStep, double>> steps_ms;
  // Set when the probe failed or its deadline passed, with the step it was in.
  std::optional<ProbeStep> failed_step;
  double failed_step_ms = 0;  // how long the failed step ran
  std::optional<ProbeError> error;
  // Why the check could not be made (UNKNOWN).
  std::string problem;
  bool deadline_passed = false;  // and the step under way was ended
  bool null_answer = false;  // the dataset fetched its rows through the provider link
  std::vector<std::string> columns;
  std::optional<std::size_t> rows;
  double total_ms = 0;
  // The thresholds, for the status line's performance data.
  std::optional<std::uint32_t> warn_ms;
  std::uint32_t deadline_ms = 0;
};

// The plugin status line, then one line per step and the dataset or the error.
std::string probe_text(const ProbeReport& report);
void write_probe_json(const ProbeReport& report, JsonWriter& json);

}  // namespace wardenix
