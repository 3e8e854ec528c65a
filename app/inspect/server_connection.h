#pragma once
// The connection the diagnostic commands open to the application server:
// the watchdog's own, to the host and port it would use.
#include <optional>

#include "datasnap/sql_connection.h"
#include "runtime/ustring.h"

namespace wardenix {

struct ServerAddress {
  UString host;
  UString port;
};

// The host and port given on the command line, else those the watchdog reads
// from rez.ini in this program's directory (its defaults when missing).
ServerAddress server_address(std::optional<UString> host, std::optional<UString> port);

// Opens `connection` to `address` the way the window's CnxServer opens: the
// same driver and parameters, then the address. Failures raise as they come.
void connect_to_server(TSQLConnection& connection, const ServerAddress& address);

}  // namespace wardenix
