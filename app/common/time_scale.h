#pragma once
// --time-scale N of the front ends, for demos and tests only: every interval
// and sleep of the supervision runs N times faster.
#include <cstdlib>
#include <optional>
#include <string>

namespace wardenix {

// The range in which the cycle runs as it should: below 1 it crawls (at 1e-9
// nothing is ever printed); far above 1000 the timers fire faster than they
// can run and a core spins.
inline constexpr double kMinTimeScale = 1.0;
inline constexpr double kMaxTimeScale = 1000.0;

// The scale that `value` names, or none when it is no number in that range.
inline std::optional<double> parse_time_scale(const std::string& value) {
  char* end = nullptr;
  const double scale = std::strtod(value.c_str(), &end);
  if (value.empty() || *end != '\0' || !(scale >= kMinTimeScale && scale <= kMaxTimeScale)) {
    return std::nullopt;
  }
  return scale;
}

}  // namespace wardenix
