#pragma once
// Starting the server program and forcibly ending the server's process tree.
#include <cstdint>
#include <vector>

#include "runtime/ustring.h"

namespace wardenix {

// What a launch did: the started program's process, or why none started.
struct LaunchOutcome {
  bool started = false;
  std::uint32_t pid = 0;  // the started program's process; 0 when not started
  int error = 0;          // the system's error code (SystemErrorText) when not started
  explicit operator bool() const { return started; }
};

// Starts the program of `CommandLine` without waiting for it. An unquoted
// command line is one program path, blanks included; a quoted program may be
// followed by arguments (command_line.h).
LaunchOutcome LaunchProgram(UStringView CommandLine);

// One process the forced termination went for.
struct TerminationTarget {
  std::uint32_t pid = 0;
  // Linux: whether the kill was accepted, else `error` says why. Windows:
  // the task-ending tool is not waited for, so this says only that it was
  // started for the process.
  bool ended = false;
  int error = 0;
};

struct TerminationReport {
  std::vector<TerminationTarget> targets;  // the servers' processes and their descendants
  // Windows: the task-ending tool was started, else `tool_error` says why.
  bool tool_started = true;
  int tool_error = 0;
};

// Kills every "DAZEVAVIZ.EXE" process with its child processes; does not wait.
TerminationReport ForceTerminateServer();

}  // namespace wardenix
