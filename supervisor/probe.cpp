// The server probe: on every connection the server check opens, one real
// query whose answer is loaded into the client dataset. The watchdogs judge
// the server by whether the dataset is open.
#include "proxy/uclasse_datasnap.h"
#include "runtime/errors.h"
#include "supervisor/principal_form.h"

namespace wardenix {

using namespace std::chrono_literals;

void TfrmPrincipal::CnxServerAfterConnect() {
  cdsGet_Data.Close();
  Variant result;
  {
    // A watchdog's disconnect ends this call at once.
    TSQLConnection::CallScope call(CnxServer);
    if (services_.consultas) {
      TDBXConnection* connection = CnxServer.DBXConnection();
      if (!connection) {
        throw EInvalidOperation(
            u"Connection cannot be nil.  Make sure the connection has been opened.");
      }
      result = services_.consultas(*connection, u"SELECT * FROM GR_VERSAO");
    } else {
      // The proxy is released when the call ends, failed or not.
      TdtmPrincipalClient proxy(CnxServer.DBXConnection());
      result = proxy._Consultas(u"SELECT * FROM GR_VERSAO");
    }
  }
  cdsGet_Data.SetData(result);
  services_.loop.clock().sleep_for(2000ms);
  try {
    TThread_Comando.reset();
    start_watchdog(WatchdogThread::Kind::Comando);
  } catch (...) {
    // The probe goes on without a responsiveness watchdog.
  }
  cdsGet_Data.Open();
}

}  // namespace wardenix
