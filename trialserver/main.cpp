// DAZEVAVIZ.EXE, the trial application server that the watchdog supervises.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "mainloop/clock.h"
#include "trialserver/call_log.h"
#include "trialserver/options.h"
#include "trialserver/process.h"
#include "trialserver/protocol_session.h"
#include "trialserver/server.h"

namespace {

using namespace wardenix::trial;

std::filesystem::path from_utf8_path(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// The watchdog starts the server without arguments; trials that need other
// ones put them in a file beside the program.
std::vector<std::string> arguments_beside_program() {
  const auto file = from_utf8_path(own_executable_path()).parent_path() / kArgumentsFileName;
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return arguments_from_lines(text.str());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments = program_arguments(argc, argv);
  if (arguments.empty()) arguments = arguments_beside_program();
  const ParsedOptions parsed = parse_options(arguments);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "DAZEVAVIZ.EXE: %s\n\n%s", parsed.error.c_str(), usage_text().c_str());
    return 2;
  }
  if (parsed.options.help) {
    std::fputs(usage_text().c_str(), stdout);
    return 0;
  }
  if (parsed.options.version) {
    std::printf("DAZEVAVIZ.EXE (trial server) %s\n", WARDENIX_VERSION_TEXT);
    return 0;
  }
  const std::string& call_log = parsed.options.call_log;
  if (!call_log.empty() && !OpenCallLog(call_log)) {
    std::fprintf(stderr, "DAZEVAVIZ.EXE: cannot open %s\n", call_log.c_str());
    return 2;
  }
  const auto clock = wardenix::make_system_clock();
  const int code = run_server(parsed.options, *clock, MakeProtocolSession(parsed.options, *clock));
  // Sessions may still run on their threads; end without waiting for them.
  std::fflush(nullptr);
  std::_Exit(code);
}
