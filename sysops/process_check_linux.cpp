#include <optional>

#include "sysops/image_name.h"
#include "sysops/process_check.h"
#include "sysops/process_table_linux.h"

namespace wardenix {

std::uint32_t VerificaProcesso(UStringView Nome) {
  std::uint32_t result = 0;
  ForEachProcess(true, [&](const ProcessEntry& entry) {
    if (!entry.image_name.empty() && ImageNameMatches(entry.image_name, Nome)) {
      result = entry.link.pid;
    }
    return result == 0;
  });
  return result;
}

std::vector<std::uint32_t> FindProcesses(UStringView Nome) {
  std::vector<std::uint32_t> found;
  ForEachProcess(true, [&](const ProcessEntry& entry) {
    if (!entry.image_name.empty() && ImageNameMatches(entry.image_name, Nome)) {
      found.push_back(entry.link.pid);
    }
    return true;
  });
  return found;
}

bool ProcessRunning(std::uint32_t pid) {
  const std::optional<char> state = ReadProcessState(static_cast<pid_t>(pid));
  return state && *state != 'Z' && *state != 'X';
}

}  // namespace wardenix
