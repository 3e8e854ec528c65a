#pragma once
// The forced termination of the server on Windows: the system's task-ending
// tool, started with a hidden window and not waited for.

namespace wardenix {

inline constexpr char kForcedTerminationCommand[] = "taskkill -im DAZEVAVIZ.EXE /f /t";

// Starts `command_line` with its window hidden; true when it was started.
bool StartHidden(const char* command_line);

}  // namespace wardenix
