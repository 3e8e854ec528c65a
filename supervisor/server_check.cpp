// The server check that every tick of tmServidor runs, and the watchdog
// threads it and the probe start.
#include "supervisor/principal_form.h"
#include "supervisor/server_probe.h"
#include "supervisor/thread_comando.h"
#include "supervisor/thread_conexao.h"
#include "sysops/system_ops.h"

namespace wardenix {

using namespace std::chrono_literals;

void TfrmPrincipal::tmServidorTimer() {
  try {
    // Quitting ends the sleep, and the check with it.
    if (!gate_->sleep_for(2000ms)) return;
    TThread_Conexao.reset();
    start_watchdog(WatchdogThread::Kind::Conexao);
    if (mmLog.displayed_line_count() > 3000) mmLog.Clear();
    Log(u": Verificando Conexão");
  } catch (...) {
    // Swallowed: the check runs again at the next tick.
  }
  TThread_Comando.reset();
  try {
    CnxServer.SetConnected(true);
  } catch (...) {
    // A server that cannot be reached or fails the probe leaves no trace here;
    // the watchdogs decide.
  }
}

void TfrmPrincipal::CnxServerBeforeConnect() {
  set_server_address(CnxServer, edServidor.Text(), edPorta.Text());
}

std::uint32_t TfrmPrincipal::VerificaProcesso(UStringView Nome) {
  return services_.ops.VerificaProcesso(Nome);
}

void TfrmPrincipal::start_watchdog(WatchdogThread::Kind kind) {
  // Stored in its reference field before it starts, as a thread created
  // suspended would be.
  auto thread = std::make_shared<const WatchdogThread>(WatchdogThread{kind, ++watchdog_serial_});
  (kind == WatchdogThread::Kind::Conexao ? TThread_Conexao : TThread_Comando) = thread;
  services_.loop.clock().start_thread(
      [gate = gate_, actions = watchdog_actions(), kind] {
        if (kind == WatchdogThread::Kind::Conexao) {
          run_Thread_Conexao(*gate, actions);
        } else {
          run_Thread_Comando(*gate, actions);
        }
      });
}

void TfrmPrincipal::on_main_thread(std::function<void()> change) {
  services_.loop.post([change = std::move(change)] {
    try {
      change();
    } catch (...) {
      // A watchdog's change that fails (a disconnect on a broken connection)
      // fails silently, as the watchdog's own step would.
    }
  });
}

WatchdogActions TfrmPrincipal::watchdog_actions() {
  WatchdogActions a;
  a.server_connected = [this] { return CnxServer.Connected(); };
  a.disconnect_server = [this] {
    // A connect or call that the main thread is blocked in ends at once; the
    // disconnect itself then runs on the main thread.
    CnxServer.AbortBlockedCall();
    on_main_thread([this] { CnxServer.SetConnected(false); });
  };
  a.abort_blocked_connect = [this] { CnxServer.AbortBlockedCall(); };
  a.dataset_open = [this] { return cdsGet_Data.Active(); };
  // A close after a fetch through the provider link sends the reset call on
  // CnxServer, so it runs where every other remote call does: on the main
  // thread, as a call that a watchdog's disconnect ends.
  a.close_dataset = [this] { on_main_thread([this] { cdsGet_Data.Close(); }); };
  a.enable_server_timer = [this] { on_main_thread([this] { tmServidor.set_enabled(true); }); };
  a.clear_conexao_reference = [this] { on_main_thread([this] { TThread_Conexao.reset(); }); };
  a.clear_comando_reference = [this] { on_main_thread([this] { TThread_Comando.reset(); }); };
  a.process_name = [this] { return edProcesso.Text(); };
  a.command_line = [this] { return edArquivo.Text(); };
  a.ops = &services_.ops;
  return a;
}

}  // namespace wardenix
