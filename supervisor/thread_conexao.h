#pragma once
// The connection watchdog: twenty seconds after a server check it closes the
// connection that the check opened, or, when there is none, kills a server
// that runs without accepting connections or starts one that is missing.
#include "supervisor/watchdog_actions.h"
#include "supervisor/watchdog_gate.h"

namespace wardenix {

void run_Thread_Conexao(WatchdogGate& gate, const WatchdogActions& actions);

}  // namespace wardenix
