#pragma once
// The responsiveness watchdog: forty-two seconds after a probe it looks at the
// client dataset. Open means the next probe loaded fresh data, and it closes
// the dataset again; closed means the server stopped answering, and it kills
// the server and starts it again.
#include "supervisor/watchdog_actions.h"
#include "supervisor/watchdog_gate.h"

namespace wardenix {

void run_Thread_Comando(WatchdogGate& gate, const WatchdogActions& actions);

}  // namespace wardenix
