#pragma once
// Runs the watchdog's own connect and probe once, against a deadline, and
// tells how each step went.
#include <cstdint>
#include <optional>
#include <string>

#include "app/inspect/probe_report.h"
#include "dbx/dbx_connection.h"

namespace wardenix {

struct ProbeSettings {
  std::string host;  // UTF-8
  std::uint16_t port = 0;
  std::optional<std::uint32_t> warn_ms;  // WARNING when the whole probe takes longer
  std::uint32_t deadline_ms = 10000;     // then the blocked step is ended: CRITICAL
};

// The probe's step that a phase of the connection ends.
ProbeStep probe_step_of(ConnectionPhase phase);

// Connects as the window's connection does, runs the probe's query, loads the
// answer into a client dataset as the probe does, and disconnects.
ProbeReport run_probe(const ProbeSettings& settings, const TDBXDriverRegistry& drivers);

}  // namespace wardenix
