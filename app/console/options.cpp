#include "app/console/options.h"

namespace wardenix {

const char kConsoleUsage[] =
    "Usage: wardenix-console [--time-scale N] [--quiet]\n"
    "\n"
    "Supervises the application server \"DAZEVAVIZ.EXE\" beside this program, writing\n"
    "every line of the activity log to standard output. Host and port come from\n"
    "rez.ini in this program's directory. Ctrl+C or a termination signal quits.\n"
    "\n"
    "Standard error gets the diagnostic stream: for each server check, a line for\n"
    "each step saying what happened and why (the connect and its error, the probe's\n"
    "answer or its error, what each watchdog found and did, each kill and launch with\n"
    "its processes, a started server that ends within 5 s). Its time stamps, as the\n"
    "log's, follow the scaled clock under --time-scale.\n"
    "\n"
    "Exit status: 0 after a quit, 2 a usage error.\n"
    "\n"
    "  --time-scale N   run every interval and sleep N times faster, N from 1 (real\n"
    "                   time) to 1000 (demos and tests); the server's own answer\n"
    "                   times are not scaled, so at high N a slow answer counts more\n"
    "  --quiet          no diagnostic stream\n"
    "  --help           show this text\n"
    "  --version        show the program's version\n";

std::optional<ConsoleOptions> parse_console_options(const std::vector<std::string>& args,
                                                    std::string& error) {
  ConsoleOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--quiet") {
      options.diagnostics = false;
    } else if (arg == "--time-scale" || arg.starts_with("--time-scale=")) {
      std::string value;
      if (arg == "--time-scale") {
        if (i + 1 >= args.size()) {
          error = "--time-scale needs a number";
          return std::nullopt;
        }
        value = args[++i];
      } else {
        value = arg.substr(sizeof "--time-scale=" - 1);
      }
      const auto scale = parse_time_scale(value);
      if (!scale) {
        error = "--time-scale needs a number from 1 to 1000, not '" + value + "'";
        return std::nullopt;
      }
      options.time_scale = *scale;
    } else {
      error = "unknown argument '" + arg + "'";
      return std::nullopt;
    }
  }
  return options;
}

}  // namespace wardenix
