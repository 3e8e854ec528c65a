#pragma once
// Starting the server program.
#include <cstdint>

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

}  // namespace wardenix
