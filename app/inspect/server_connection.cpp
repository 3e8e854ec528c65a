#include "app/inspect/server_connection.h"

#include "app/inspect/config_report.h"
#include "supervisor/server_probe.h"

namespace wardenix {

ServerAddress server_address(std::optional<UString> host, std::optional<UString> port) {
  if (!host || !port) {
    // As `config` reads the file, without looking the host up.
    const ConfigReport config =
        check_config(own_config_file(), [](UStringView) { return std::nullopt; });
    if (!host) host = config.host.value;
    if (!port) port = config.port.value;
  }
  return {std::move(*host), std::move(*port)};
}

void connect_to_server(TSQLConnection& connection, const ServerAddress& address) {
  configure_server_connection(connection);
  set_server_address(connection, address.host, address.port);
  connection.SetConnected(true);
}

}  // namespace wardenix
