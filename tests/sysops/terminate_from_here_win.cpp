// Runs the forced termination from its own directory, and ends: the test of
// which task-ending tool runs places it beside a decoy. Given a command
// line, it starts the system's tool with that one instead (for a system whose
// tool rejects an option of the fixed command).
#include "sysops/termination.h"
#include "sysops/termination_win.h"

int main(int argc, char** argv) {
  if (argc > 1) return wardenix::StartSystemTool(wardenix::kTaskEndingTool, argv[1]) ? 0 : 1;
  wardenix::ForceTerminateServer();
  return 0;
}
