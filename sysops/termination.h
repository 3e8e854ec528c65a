#pragma once
// Forcibly ending the server's process tree.
#include <cstdint>
#include <vector>

#include "runtime/ustring.h"

namespace wardenix {

// The image name of the server's processes.
inline constexpr char16_t kServerImageName[] = u"DAZEVAVIZ.EXE";

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

// Kills every kServerImageName process with its child processes; does not
// wait.
TerminationReport ForceTerminateServer();

}  // namespace wardenix
