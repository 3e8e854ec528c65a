#include "datasnap/connection_params.h"

namespace wardenix {

std::pair<UString, UString> split_param_line(UStringView line) {
  const auto equals = line.find(u'=');
  if (equals == UStringView::npos) return {UString(line), UString()};
  return {UString(line.substr(0, equals)), UString(line.substr(equals + 1))};
}

void ConnectionParams::SetValue(UStringView name, UStringView value) {
  for (auto it = lines_.begin(); it != lines_.end(); ++it) {
    if (!equals_ascii_ci(split_param_line(*it).first, name)) continue;
    if (value.empty()) {
      lines_.erase(it);
    } else {
      *it = UString(name) + u"=" + UString(value);
    }
    return;
  }
  if (!value.empty()) lines_.push_back(UString(name) + u"=" + UString(value));
}

UString ConnectionParams::Value(UStringView name) const {
  for (const auto& line : lines_) {
    auto [line_name, line_value] = split_param_line(line);
    if (equals_ascii_ci(line_name, name)) return line_value;
  }
  return {};
}

}  // namespace wardenix
