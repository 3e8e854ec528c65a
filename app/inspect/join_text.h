#pragma once
// Joins pieces of text with append: the cross compiler warns wrongly about
// "literal" + std::string.
#include <initializer_list>
#include <string>
#include <string_view>

namespace wardenix {

inline std::string join(std::initializer_list<std::string_view> pieces) {
  std::string joined;
  for (const std::string_view piece : pieces) joined.append(piece);
  return joined;
}

}  // namespace wardenix
