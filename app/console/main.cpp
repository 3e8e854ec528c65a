// wardenix-console: the watchdog without a window. The window model runs as
// in the desktop program; every log line is also written to standard output.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/console/interrupts.h"
#include "app/console/options.h"
#include "mainloop/clock.h"
#include "mainloop/event_loop.h"
#include "supervisor/application.h"
#include "supervisor/program.h"
#include "datasnap/datasnap_driver.h"
#include "sysops/host_info.h"
#include "sysops/system_ops.h"

#ifdef _WIN32
#include <windows.h>
#endif

int main(int argc, char** argv) {
  using namespace wardenix;
#ifdef _WIN32
  SetConsoleOutputCP(CP_UTF8);
#endif
  std::string error;
  const auto options = parse_console_options(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    std::fprintf(stderr, "wardenix-console: %s\n\n%s", error.c_str(), kConsoleUsage);
    return 2;
  }
  if (options->help) {
    std::fputs(kConsoleUsage, stdout);
    return 0;
  }
  if (options->version) {
    std::printf("wardenix-console %s\n", WARDENIX_VERSION_TEXT);
    return 0;
  }

  const auto clock = make_system_clock(options->time_scale);
  EventLoop loop(*clock);
  Application application(loop);
  const auto ops = make_platform_system_ops();
  const auto host = make_platform_host_info();
  application.on_error_box = [](const UString& caption, const UString& message) {
    std::fprintf(stderr, "%s: %s\n", to_utf8(caption).c_str(), to_utf8(message).c_str());
  };

  DiagnosticSink diagnostics;
  if (options->diagnostics) {
    diagnostics = [](DiagnosticSeverity, const UString& line) {
      // One call a line, so that lines of different threads never mix.
      std::fputs((to_utf8(line) + "\n").c_str(), stderr);
    };
  }
  const auto form = create_main_window(
      application, {loop, application, *ops, *host, default_driver_registry(), diagnostics});
  form->mmLog.on_added = [](const UString& line) {
    std::fputs((to_utf8(line) + "\n").c_str(), stdout);
    std::fflush(stdout);
  };
  // Let go before the window at the end of main, once the orderly quit has
  // run: a late request then never reaches a window that is gone.
  const InterruptWatch interrupts([&] { form->RequestQuit(); });

  // No window to show: the show step runs once now, so that rez.ini is read
  // and the server is relaunched from this program's directory.
  application.HandleEvent([&] { form->FormShow(); });
  application.Run();

  form->watchdogs().quit();
  // Woken watchdogs end at once; none is waited for longer than this.
  clock->wait_for_threads(std::chrono::milliseconds(static_cast<long long>(1000 * options->time_scale)));
  return 0;
}
