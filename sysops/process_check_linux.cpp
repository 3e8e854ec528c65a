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

}  // namespace wardenix
