#pragma once
// The component's parameter list: "name=value" lines in list order.
#include <vector>

#include "runtime/ustring.h"

namespace wardenix {

class ConnectionParams {
 public:
  ConnectionParams() = default;
  ConnectionParams(std::initializer_list<UString> lines) : lines_(lines) {}

  // Replaces the line of `name` (ASCII case ignored), or appends one; an
  // empty value removes the line instead.
  void SetValue(UStringView name, UStringView value);
  // The value of `name`, empty when there is no such line.
  UString Value(UStringView name) const;
  const std::vector<UString>& Lines() const { return lines_; }

 private:
  std::vector<UString> lines_;
};

// The name and the value of a "name=value" line (a line without "=" is all name).
std::pair<UString, UString> split_param_line(UStringView line);

}  // namespace wardenix
