#include "app/inspect/server_connection.h"

#include "app/inspect/config_report.h"
#include "datasnap/datasnap_driver.h"
#include "mainloop/clock.h"
#include "mainloop/event_loop.h"
#include "supervisor/application.h"
#include "supervisor/principal_form.h"
#include "sysops/host_info.h"
#include "sysops/system_ops.h"

namespace wardenix {
namespace {

// Takes the driver and parameters from a main window that is made only for
// them and never shown, so that they stay the window's own.
void configure_as_window(TSQLConnection& connection) {
  const auto clock = make_system_clock();
  EventLoop loop(*clock);
  Application application(loop);
  const auto ops = make_platform_system_ops();
  const auto host = make_platform_host_info();
  const TfrmPrincipal window({loop, application, *ops, *host, default_driver_registry(), {}});
  connection.DriverName = window.CnxServer.DriverName;
  connection.LoginPrompt = window.CnxServer.LoginPrompt;
  connection.Params = window.CnxServer.Params;
}

}  // namespace

ServerAddress server_address(std::optional<UString> host, std::optional<UString> port) {
  if (!host || !port) {
    // As `config` reads the file, without looking the host up.
    const UString file = directory_of(make_platform_host_info()->executable_path()) + u"rez.ini";
    const ConfigReport config = check_config(file, [](UStringView) { return std::nullopt; });
    if (!host) host = config.host.value;
    if (!port) port = config.port.value;
  }
  return {std::move(*host), std::move(*port)};
}

void connect_to_server(TSQLConnection& connection, const ServerAddress& address) {
  configure_as_window(connection);
  // What the window's before-connect handler sets from its fields.
  connection.Params.SetValue(u"HostName", address.host);
  connection.Params.SetValue(u"Port", address.port);
  connection.SetConnected(true);
}

}  // namespace wardenix
