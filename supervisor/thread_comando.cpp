#include "supervisor/thread_comando.h"

#include "sysops/system_ops.h"

namespace wardenix {

using namespace std::chrono_literals;

void run_Thread_Comando(WatchdogGate& gate, const WatchdogActions& a) {
  if (!gate.sleep_for(42000ms)) return;
  bool open = false;
  if (!gate.act([&] { open = a.dataset_open(); })) return;
  if (open) {
    if (!gate.sleep_for(2000ms)) return;
    if (!gate.act([&] {
          a.diagnose(u"responsiveness watchdog: the probe's dataset is open; closing it");
          a.close_dataset();
        })) {
      return;
    }
  } else {
    if (!gate.act([&] {
          a.diagnose(
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

}  // namespace wardenix
