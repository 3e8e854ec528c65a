// The server probe: on every connection the server check opens, one real
// query whose answer is loaded into the client dataset. The watchdogs judge
// the server by whether the dataset is open.
#include "supervisor/principal_form.h"
#include "supervisor/server_probe.h"

namespace wardenix {

using namespace std::chrono_literals;

void TfrmPrincipal::CnxServerAfterConnect() {
  cdsGet_Data.Close();
  try {
    const Variant result = run_probe_query(CnxServer, kProbeQuery, services_.consultas);
    cdsGet_Data.SetData(result);
  } catch (...) {
    // A probe that reached the server but got no data is judged by the next
    // probe as well: otherwise a server that hangs or fails in its remote
    // call from its first connection on would never be killed, since only a
    // probe that passed would leave a watchdog behind.
    start_responsiveness_watchdog();
    throw;
  }
  if (!gate_->sleep_for(2000ms)) return;  // quitting
  start_responsiveness_watchdog();
  // After a null answer the dataset is closed: this fetches its rows through
  // the provider link, and the close that follows sends the reset call.
  cdsGet_Data.Open();
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
