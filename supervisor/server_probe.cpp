#include "supervisor/server_probe.h"

#include "proxy/uclasse_datasnap.h"

namespace wardenix {

void configure_server_connection(TSQLConnection& connection) {
  connection.DriverName = u"Datasnap";
  connection.LoginPrompt = false;
  connection.Params = {u"Port=3063", u"RIDaduvorod=58013742QHZVMTRB"};
}

void set_server_address(TSQLConnection& connection, UStringView host, UStringView port) {
  connection.Params.SetValue(u"HostName", host);
  connection.Params.SetValue(u"Port", port);
}

void link_answer_dataset(TSQLConnection& connection, TDSProviderConnection& link,
                         TClientDataSet& dataset) {
  link.SetServerClassName(u"TdmPrincipal");
  link.SetSQLConnection(&connection);
  dataset.SetProviderName(u"dspAux");
}

Variant run_probe_query(TSQLConnection& connection, UStringView sql) {
  TSQLConnection::CallScope call(connection);
  TdtmPrincipalClient proxy(connection.DBXConnection());
  return proxy._Consultas(UString(sql));
}

}  // namespace wardenix
