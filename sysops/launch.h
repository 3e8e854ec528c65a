#pragma once
// Starting the server program and forcibly ending the server's process tree.
#include "runtime/ustring.h"

namespace wardenix {

// Starts the program of `CommandLine` without waiting for it; true when the
// process was created. An unquoted command line is one program path, blanks
// included; a quoted program may be followed by arguments (command_line.h).
bool LaunchProgram(UStringView CommandLine);

// Kills every "DAZEVAVIZ.EXE" process with its child processes; does not wait.
void ForceTerminateServer();

}  // namespace wardenix
