#pragma once
// wardenix-inspect probe [HOST [PORT]] [--warn MS] [--deadline MS] [--json]:
// the command line, the defaults from rez.ini, the output and the exit code.
#include <string_view>
#include <vector>

namespace wardenix {

// `arguments` follow the word "probe"; returns the exit code (probe_report.h).
int run_probe_command(const std::vector<std::string_view>& arguments);

}  // namespace wardenix
