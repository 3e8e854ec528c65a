#pragma once
// Starting the server program and forcibly ending the server's process tree.
#include "runtime/ustring.h"

namespace wardenix {

// Starts the program of `CommandLine` without waiting for it; true when the
// process was created.
bool LaunchProgram(UStringView CommandLine);

// Kills every "DAZEVAVIZ.EXE" process with its child processes; does not wait.
void ForceTerminateServer();

}  // namespace wardenix
