// The server probe: on every connection the server check opens, one real
// query whose answer is loaded into the client dataset. The watchdogs judge
// the server by whether the dataset is open.
#include "proxy/uclasse_datasnap.h"
#include "runtime/errors.h"
#include "supervisor/principal_form.h"

namespace wardenix {

using namespace std::chrono_literals;

namespace {

Variant consultas(TSQLConnection& connection,
                  const TfrmPrincipal::Services& services, UStringView sql) {
  // A watchdog's disconnect ends this call at once.
  TSQLConnection::CallScope call(connection);
  if (services.consultas) {
    TDBXConnection* open = connection.DBXConnection();
    if (!open) {
      throw EInvalidOperation(
          u"Connection cannot be nil.  Make sure the connection has been opened.");
    }
    return services.consultas(*open, sql);
  }
  // The proxy is released when the call ends, failed or not.
  TdtmPrincipalClient proxy(connection.DBXConnection());
  return proxy._Consultas(UString(sql));
}

}  // namespace

void TfrmPrincipal::CnxServerAfterConnect() {
  probe_started_ = true;
  diagnostics_.Write(u"check: connected to " + server_address());
  cdsGet_Data.Close();
  try {
    const Variant result = consultas(CnxServer, services_, u"SELECT * FROM GR_VERSAO");
    cdsGet_Data.SetData(result);
  } catch (const std::exception& error) {
    diagnostics_.Write(u"probe: _Consultas failed: " + describe_error(error));
    // A probe that reached the server but got no data is judged by the next
    // probe as well: otherwise a server that hangs or fails in its remote
    // call from its first connection on would never be killed, since only a
    // probe that passed would leave a watchdog behind.
    start_responsiveness_watchdog();
    throw;
  }
  const bool answered = cdsGet_Data.Active();
  diagnostics_.Write(answered ? u"probe: _Consultas answered; " + describe_dataset(cdsGet_Data)
                              : UString(u"probe: _Consultas answered null; the rows are fetched "
                                        u"through the provider link in 2 s"));
  if (!gate_->sleep_for(2000ms)) return;  // quitting
  start_responsiveness_watchdog();
  if (answered) return;
  // After a null answer the dataset is closed: this fetches its rows through
  // the provider link, and the close that follows sends the reset call.
  try {
    cdsGet_Data.Open();
  } catch (const std::exception& error) {
    diagnostics_.Write(u"probe: the fetch through the provider link failed: " +
                       describe_error(error));
    throw;
  }
  diagnostics_.Write(u"probe: fetched through the provider link; " + describe_dataset(cdsGet_Data));
}

void TfrmPrincipal::start_responsiveness_watchdog() {
  try {
    TThread_Comando.reset();
    start_watchdog(WatchdogThread::Kind::Comando);
  } catch (...) {
    // The probe goes on without a responsiveness watchdog.
  }
}

}  // namespace wardenix
