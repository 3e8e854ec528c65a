// wardenix: the watchdog as a desktop program on Linux, living in the
// desktop's notification area.
#include <QApplication>
#include <QSystemTrayIcon>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "app/qt/qt_desktop.h"
#include "datasnap/datasnap_driver.h"
#include "mainloop/clock.h"
#include "mainloop/event_loop.h"
#include "sysops/host_info.h"
#include "sysops/system_ops.h"

namespace {

constexpr const char* kHelp =
    "Usage: wardenix [--help | --version]\n"
    "\n"
    "Supervises the application server \"DAZEVAVIZ.EXE\" beside this program from\n"
    "the desktop's notification area. Host and port come from rez.ini in this\n"
    "program's directory, read when the window is first shown (\"Visualizar\").\n"
    "Standard error gets the diagnostic stream: what each server check did and why.\n"
    "\n"
    "  --help     show this text\n"
    "  --version  show the program's version\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace wardenix;
  // Only a lone --help or --version is read, for administrators and the
  // manual page; any other arguments are Qt's own and are left to Qt.
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("wardenix %s\n", WARDENIX_VERSION_TEXT);
    return 0;
  }
  QApplication qt_application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  const auto clock = make_system_clock();
  EventLoop loop(*clock);
  Application application(loop);
  const auto ops = make_platform_system_ops();
  const auto host = make_platform_host_info();
  {
    // Where the session keeps a desktop program's standard error (the user's
    // journal, or ~/.xsession-errors), never in the window's log.
    const DiagnosticSink diagnostics = [](DiagnosticSeverity, const UString& line) {
      std::fputs((to_utf8(line) + "\n").c_str(), stderr);
    };
    qt::Desktop desktop(
        application,
        {loop, application, *ops, *host, default_driver_registry(), diagnostics},
        QSystemTrayIcon::isSystemTrayAvailable());
    desktop.run();
    desktop.form().watchdogs().quit();
  }
  clock->wait_for_threads(std::chrono::milliseconds(1000));
  return 0;
}
