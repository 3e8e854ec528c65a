// wardenix: the watchdog as a desktop program on Linux, living in the
// desktop's notification area.
#include <QApplication>
#include <QSystemTrayIcon>
#include <chrono>

#include "app/qt/qt_desktop.h"
#include "datasnap/datasnap_driver.h"
#include "mainloop/clock.h"
#include "mainloop/event_loop.h"
#include "sysops/host_info.h"
#include "sysops/system_ops.h"

int main(int argc, char** argv) {
  using namespace wardenix;
  // No command-line arguments are read; Qt's own are left to Qt.
  QApplication qt_application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  const auto clock = make_system_clock();
  EventLoop loop(*clock);
  Application application(loop);
  const auto ops = make_platform_system_ops();
  const auto host = make_platform_host_info();
  {
    qt::Desktop desktop(application, {loop, application, *ops, *host, default_driver_registry(), {}},
                        QSystemTrayIcon::isSystemTrayAvailable());
    desktop.run();
    desktop.form().watchdogs().quit();
  }
  clock->wait_for_threads(std::chrono::milliseconds(1000));
  return 0;
}
