#include "sysops/host_info.h"

namespace wardenix {

UString directory_of(UStringView path) {
  const auto cut = path.find_last_of(u"\\/");
  return cut == UStringView::npos ? UString() : UString(path.substr(0, cut + 1));
}

std::optional<DateTimeParts> to_file_system_date(DateTimeParts local) {
  if (local.year < 1980 || local.year > 2107) return std::nullopt;
  local.second -= local.second % 2;
  local.millisecond = 0;
  return local;
}

}  // namespace wardenix
