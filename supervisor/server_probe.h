#pragma once
// What the window's connection to the application server and its probe are
// made of, shared with the diagnostic probe of wardenix-inspect: the
// connection's stored settings, where it goes, the provider link and dataset
// that load the answer, and the remote query.
#include "datasnap/sql_connection.h"
#include "dataset/client_dataset.h"
#include "provider/provider_connection.h"
#include "runtime/ustring.h"
#include "runtime/variant.h"

namespace wardenix {

inline constexpr char16_t kProbeQuery[] = u"SELECT * FROM GR_VERSAO";

// The connection as the window stores it: driver, no login prompt, the port
// and the access code its parameters carry.
void configure_server_connection(TSQLConnection& connection);

// The before-connect step: host and port as texts. An empty text removes the
// parameter, so the driver's default applies.
void set_server_address(TSQLConnection& connection, UStringView host, UStringView port);

// The provider link on `connection` and the dataset that fetches through it
// (once the dataset is given the link as its remote server).
void link_answer_dataset(TSQLConnection& connection, TDSProviderConnection& link,
                         TClientDataSet& dataset);

// `_Consultas(sql)` through the typed proxy on the open connection, marked
// as a call so that AbortBlockedCall from another thread ends it. The proxy
// is released when the call ends.
Variant run_probe_query(TSQLConnection& connection, UStringView sql);

}  // namespace wardenix
