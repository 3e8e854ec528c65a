#include "sysops/image_name.h"

namespace wardenix {

bool ImageNameMatches(UStringView image_name, UStringView wanted) {
  const auto last_separator = image_name.find_last_of(u"\\:");
  const UStringView file_part =
      last_separator == UStringView::npos ? image_name : image_name.substr(last_separator + 1);
  return equals_ascii_ci(file_part, wanted) || equals_ascii_ci(image_name, wanted);
}

}  // namespace wardenix
