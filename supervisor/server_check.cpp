// The server check that every tick of tmServidor runs.
#include "supervisor/principal_form.h"

namespace wardenix {

using namespace std::chrono_literals;

void TfrmPrincipal::tmServidorTimer() {
  try {
    services_.loop.clock().sleep_for(2000ms);
    if (mmLog.displayed_line_count() > 3000) mmLog.Clear();
    Log(u": Verificando Conexão");
  } catch (...) {
    // Swallowed: the check runs again at the next tick.
  }
}

}  // namespace wardenix
