#include "supervisor/thread_conexao.h"

#include "sysops/system_ops.h"

namespace wardenix {

using namespace std::chrono_literals;

// Every step gives up silently when the program quits, and a failing step
// ends the run (the thread's runner swallows the failure).
void run_Thread_Conexao(WatchdogGate& gate, const WatchdogActions& a) {
  if (!gate.sleep_for(20000ms)) return;
  bool connected = false;
  if (!gate.act([&] { connected = a.server_connected(); })) return;
  if (connected) {
    if (!gate.sleep_for(2000ms)) return;
    if (!gate.act([&] {
          a.diagnose(u"connection watchdog: the server is connected; disconnecting");
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
            a.diagnose(u"connection watchdog: the server is not connected, and " +
                       a.process_name() + u" runs as pid " +
                       to_ustring_unsigned(process) +
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
        a.diagnose(u"connection watchdog: the server is not connected, and " + a.process_name() +
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

}  // namespace wardenix
