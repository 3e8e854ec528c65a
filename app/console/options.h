#pragma once
// The console front end's command line: --time-scale N, --quiet, --help and
// --version.
#include <optional>
#include <string>
#include <vector>

#include "app/common/time_scale.h"

namespace wardenix {

struct ConsoleOptions {
  double time_scale = 1.0;
  bool diagnostics = true;  // the diagnostic stream on standard error
  bool help = false;
  bool version = false;
};

// None, with `error` set, when the arguments are not understood.
std::optional<ConsoleOptions> parse_console_options(const std::vector<std::string>& args,
                                                    std::string& error);

extern const char kConsoleUsage[];

}  // namespace wardenix
