#pragma once
// The process table of this machine, read from /proc.
#include <sys/types.h>

#include <functional>
#include <optional>

#include "runtime/ustring.h"
#include "sysops/process_tree.h"

namespace wardenix {

struct ProcessEntry {
  ProcessLink link;
  char state = '?';      // as /proc shows it: R, S, D, T, t, Z, X, ...
  UString image_name;    // empty when the process has none that can be known
};

// Calls `visit` for each process, in the order /proc lists them, until it
// returns false. The image name is read only when `with_image_names` is set.
void ForEachProcess(bool with_image_names, const std::function<bool(const ProcessEntry&)>& visit);

// The state of `pid` as /proc shows it, or none when no such process is left.
std::optional<char> ReadProcessState(pid_t pid);

// The file name of the program that `pid` runs (see the .cpp for the rules),
// or empty.
UString ReadImageName(pid_t pid);

}  // namespace wardenix
