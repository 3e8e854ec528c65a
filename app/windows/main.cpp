// wardenix.exe: the watchdog as a desktop program that lives in the
// notification area.
#include <windows.h>

#include <chrono>

#include "app/windows/desktop.h"
#include "datasnap/datasnap_driver.h"
#include "mainloop/clock.h"
#include "mainloop/event_loop.h"
#include "sysops/host_info.h"
#include "sysops/system_ops.h"

int main() {
  using namespace wardenix;
  const auto clock = make_system_clock();
  EventLoop loop(*clock);
  Application application(loop);
  const auto ops = make_platform_system_ops();
  const auto host = make_platform_host_info();
  {
    // The system's debug output, where a debugger or a debug-output viewer
    // shows it; never in the window's log.
    const DiagnosticSink diagnostics = [](const UString& line) {
      const UString text = line + u"\r\n";
      ::OutputDebugStringW(reinterpret_cast<const wchar_t*>(text.c_str()));
    };
    win32::Desktop desktop(
        application, {loop, application, *ops, *host, default_driver_registry(), {}, diagnostics});
    desktop.run();
    // Sleeping watchdogs are woken and not waited for.
    desktop.form().watchdogs().quit();
  }
  clock->wait_for_threads(std::chrono::milliseconds(1000));
  return 0;
}
