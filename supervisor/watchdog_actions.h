#pragma once
// What a watchdog thread may look at and do. Each member is safe to call from
// the watchdog's own thread: reads return what the main thread last published
// without waiting for it, and changes of the window's state are handed to the
// main thread.
#include <cstdint>
#include <functional>

#include "runtime/ustring.h"
#include "supervisor/diagnostics.h"

namespace wardenix {

class SystemOps;

struct WatchdogActions {
  std::function<bool()> server_connected;       // CnxServer is connected
  std::function<void()> disconnect_server;      // ends a blocked call at once, then disconnects
  std::function<void()> abort_blocked_connect;  // ends a connect the main thread waits in
  std::function<bool()> dataset_open;           // cdsGet_Data is open
  std::function<void()> close_dataset;
  std::function<void()> enable_server_timer;    // tmServidor
  std::function<void()> clear_conexao_reference;
  std::function<void()> clear_comando_reference;
  std::function<UString()> process_name;        // edProcesso
  std::function<void()> terminate_server;       // ForceTerminateServer
  std::function<void()> launch_server;          // LaunchProgram(edArquivo)
  // Writes a line to the diagnostic stream; call it inside a step, never
  // after the program quits.
  std::function<void(DiagnosticSeverity severity, UStringView line)> diagnose;
  SystemOps* ops = nullptr;
};

}  // namespace wardenix
