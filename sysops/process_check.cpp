#include "sysops/process_check.h"

#include "sysops/image_name.h"
#include "sysops/process_list.h"

namespace wardenix {

std::uint32_t VerificaProcesso(UStringView Nome) {
  std::uint32_t result = 0;
  ForEachProcessImage([&](std::uint32_t pid, UStringView image_name) {
    if (ImageNameMatches(image_name, Nome)) result = pid;
    return result == 0;
  });
  return result;
}

std::vector<std::uint32_t> FindProcesses(UStringView Nome) {
  std::vector<std::uint32_t> found;
  ForEachProcessImage([&](std::uint32_t pid, UStringView image_name) {
    if (ImageNameMatches(image_name, Nome)) found.push_back(pid);
    return true;
  });
  return found;
}

}  // namespace wardenix
