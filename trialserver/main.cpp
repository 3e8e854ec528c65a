// DAZEVAVIZ.EXE, the trial application server that the watchdog supervises.
#include <cstdio>
#include <cstdlib>

#include "mainloop/clock.h"
#include "trialserver/options.h"
#include "trialserver/process.h"
#include "trialserver/server.h"

int main(int argc, char** argv) {
  using namespace wardenix::trial;
  const ParsedOptions parsed = parse_options(program_arguments(argc, argv));
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "DAZEVAVIZ.EXE: %s\n\n%s", parsed.error.c_str(), usage_text().c_str());
    return 2;
  }
  if (parsed.options.help) {
    std::fputs(usage_text().c_str(), stdout);
    return 0;
  }
  const auto clock = wardenix::make_system_clock();
  const int code = run_server(parsed.options, *clock, hold_until_closed);
  // Sessions may still run on their threads; end without waiting for them.
  std::fflush(nullptr);
  std::_Exit(code);
}
