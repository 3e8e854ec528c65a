#include <optional>

#include "sysops/process_check.h"
#include "sysops/process_list.h"
#include "sysops/process_table_linux.h"

namespace wardenix {

void ForEachProcessImage(const std::function<bool(std::uint32_t pid, UStringView image_name)>& visit) {
  ForEachProcess(true, [&](const ProcessEntry& entry) {
    return entry.image_name.empty() || visit(entry.link.pid, entry.image_name);
  });
}

bool ProcessRunning(std::uint32_t pid) {
  const std::optional<char> state = ReadProcessState(static_cast<pid_t>(pid));
  return state && *state != 'Z' && *state != 'X';
}

}  // namespace wardenix
