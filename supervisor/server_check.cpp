// One server check, from the timer that starts it to the relaunch of a
// server that does not answer, in the order it runs:
//   1. tmServidorTimer: after 2 s, start the connection watchdog and connect;
//   2. the connection's handlers: where to connect, then the probe, which
//      loads the answer of one real query into the client dataset and
//      starts the responsiveness watchdog;
//   3. the two watchdogs, each on a thread of its own;
//   4. what the watchdogs may do, and the hand-over of their changes to the
//      main thread.
#include "runtime/errors.h"
#include "supervisor/principal_form.h"
#include "supervisor/server_probe.h"
#include "sysops/system_ops.h"

namespace wardenix {

using namespace std::chrono_literals;

// 1. The timer --------------------------------------------------------------

void TfrmPrincipal::tmServidorTimer() {
  assert_on_main_thread("TfrmPrincipal::tmServidorTimer");
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
  probe_started_ = false;
  try {
    CnxServer.SetConnected(true);
    if (!probe_started_) {
      diagnostics_.Write(DiagnosticSeverity::Information,
                         u"check: the connection was still open; no probe ran");
    }
  } catch (const std::exception& error) {
    // A server that cannot be reached or fails the probe leaves no trace in
    // the activity log; the watchdogs decide.
    if (!probe_started_) {
      report_failed_step(u"connecting to " + server_address(),
                         u"check: cannot connect to " + server_address() + u": " +
                             describe_error(error));
    }
  } catch (...) {
  }
}

UString TfrmPrincipal::server_address() const {
  return edServidor.Text() + u":" + edPorta.Text();
}

void TfrmPrincipal::report_failed_step(UStringView step, const UString& failure) {
  // Quitting closes the gate before it aborts the blocked call: a call that
  // fails once the gate is closed was ended by the quit, not by the server.
  if (gate_->quitting()) {
    diagnostics_.Write(DiagnosticSeverity::Information,
                       u"check: ended by quitting while " + UString(step));
  } else {
    diagnostics_.Write(DiagnosticSeverity::Warning, failure);
  }
}

// 2. The connection's handlers: where to connect, and the probe ---------------

void TfrmPrincipal::CnxServerBeforeConnect() {
  assert_on_main_thread("TfrmPrincipal::CnxServerBeforeConnect");
  set_server_address(CnxServer, edServidor.Text(), edPorta.Text());
}

// The watchdogs judge the server by whether the dataset is open.
void TfrmPrincipal::CnxServerAfterConnect() {
  assert_on_main_thread("TfrmPrincipal::CnxServerAfterConnect");
  probe_started_ = true;
  diagnostics_.Write(DiagnosticSeverity::Information, u"check: connected to " + server_address());
  cdsGet_Data.Close();
  try {
    // A watchdog's disconnect ends the call at once.
    const Variant result = run_probe_query(CnxServer, kProbeQuery);
    cdsGet_Data.SetData(result);
  } catch (const std::exception& error) {
    report_failed_step(u"the probe waited", u"probe: _Consultas failed: " + describe_error(error));
    // A probe that reached the server but got no data is judged by the next
    // probe as well: otherwise a server that hangs or fails in its remote
    // call from its first connection on would never be killed, since only a
    // probe that passed would leave a watchdog behind.
    start_responsiveness_watchdog();
    throw;
  }
  const bool answered = cdsGet_Data.Active();
  diagnostics_.Write(DiagnosticSeverity::Information,
                     answered ? u"probe: _Consultas answered; " + describe_dataset(cdsGet_Data)
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
    report_failed_step(u"the fetch through the provider link waited",
                       u"probe: the fetch through the provider link failed: " +
                           describe_error(error));
    throw;
  }
  diagnostics_.Write(DiagnosticSeverity::Information,
                     u"probe: fetched through the provider link; " + describe_dataset(cdsGet_Data));
}

void TfrmPrincipal::start_responsiveness_watchdog() {
  try {
    TThread_Comando.reset();
    start_watchdog(WatchdogThread::Kind::Comando);
  } catch (...) {
    // The probe goes on without a responsiveness watchdog.
  }
}

// 3. The watchdogs ------------------------------------------------------------
//
// Every step gives up silently when the program quits, and a failing step
// ends the run (the thread's runner swallows the failure).

namespace {

// The connection watchdog: twenty seconds after a server check it closes the
// connection that the check opened, or, when there is none, kills a server
// that runs without accepting connections or starts one that is missing.
void run_Thread_Conexao(WatchdogGate& gate, const WatchdogActions& a) {
  if (!gate.sleep_for(20000ms)) return;
  bool connected = false;
  if (!gate.act([&] { connected = a.server_connected(); })) return;
  if (connected) {
    if (!gate.sleep_for(2000ms)) return;
    if (!gate.act([&] {
          a.diagnose(DiagnosticSeverity::Information,
                     u"connection watchdog: the server is connected; disconnecting");
          a.disconnect_server();
        })) {
      return;
    }
  } else {
    std::uint32_t process = 0;
    if (!gate.act([&] { process = a.ops->VerificaProcesso(a.process_name()); })) return;
    if (process != 0) {
      // Running but not accepting: kill it; a later check's watchdog starts it.
      // The kill ends a connect that hangs on the server, unless the server
      // is out of its reach (another user's): the connect is then ended
      // here, or no check would ever run again.
      if (!gate.act([&] {
            a.diagnose(DiagnosticSeverity::Warning,
                       u"connection watchdog: the server is not connected, and " +
                       a.process_name() + u" runs as pid " + to_ustring_unsigned(process) +
                       u": killing it (a later check starts it again)");
            a.terminate_server();
            a.abort_blocked_connect();
          })) {
        return;
      }
      if (!gate.sleep_for(2000ms)) return;
      if (!gate.act([&] { a.enable_server_timer(); })) return;
    } else {
      const bool acted = gate.act([&] {
        a.diagnose(DiagnosticSeverity::Warning,
                   u"connection watchdog: the server is not connected, and " + a.process_name() +
                       u" does not run: starting it");
        a.clear_comando_reference();
        a.disconnect_server();
        a.launch_server();
      });
      if (!acted || !gate.sleep_for(2000ms)) return;
    }
  }
  gate.act([&] { a.clear_conexao_reference(); });
}

// The responsiveness watchdog: forty-two seconds after a probe it looks at
// the client dataset. Open means the next probe loaded fresh data, and it
// closes the dataset again; closed means the server stopped answering, and
// it kills the server and starts it again.
void run_Thread_Comando(WatchdogGate& gate, const WatchdogActions& a) {
  if (!gate.sleep_for(42000ms)) return;
  bool open = false;
  if (!gate.act([&] { open = a.dataset_open(); })) return;
  if (open) {
    if (!gate.sleep_for(2000ms)) return;
    if (!gate.act([&] {
          a.diagnose(DiagnosticSeverity::Information,
                     u"responsiveness watchdog: the probe's dataset is open; closing it");
          a.close_dataset();
        })) {
      return;
    }
  } else {
    if (!gate.act([&] {
          a.diagnose(
              DiagnosticSeverity::Warning,
              u"responsiveness watchdog: the probe's dataset is not open, the server did not "
              u"answer the probe: killing it, and starting it again in 20 s");
          a.terminate_server();
        })) {
      return;
    }
    if (!gate.sleep_for(20000ms)) return;
    const bool acted = gate.act([&] {
      a.disconnect_server();
      a.launch_server();
      a.enable_server_timer();
    });
    if (!acted) return;
  }
  gate.act([&] { a.clear_comando_reference(); });
}

}  // namespace

void TfrmPrincipal::start_watchdog(WatchdogThread::Kind kind) {
  assert_on_main_thread("TfrmPrincipal::start_watchdog");
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

// 4. What the watchdogs may do, and the hand-over to the main thread ----------

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
  a.terminate_server = [this] { diagnostics_.Terminate(edProcesso.Text()); };
  a.launch_server = [this] { diagnostics_.Launch(edArquivo.Text()); };
  a.diagnose = [this](DiagnosticSeverity severity, UStringView line) {
    diagnostics_.Write(severity, line);
  };
  a.ops = &services_.ops;
  return a;
}

void TfrmPrincipal::on_main_thread(std::function<void()> change) {
  // The gate closes when the window goes: a change that was handed over
  // before then and runs after is dropped, never run on a window that is gone.
  services_.loop.post([gate = gate_, change = std::move(change)] {
    if (gate->quitting()) return;
    try {
      change();
    } catch (...) {
      // A watchdog's change that fails (a disconnect on a broken connection)
      // fails silently, as the watchdog's own step would.
    }
  });
}

std::uint32_t TfrmPrincipal::VerificaProcesso(UStringView Nome) {
  return services_.ops.VerificaProcesso(Nome);
}

}  // namespace wardenix
