#include "dataset/packet_metadata.h"

#include <algorithm>

namespace wardenix {

namespace {

char ascii_upper_char(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

const PacketOption* PacketTable::find_option(std::string_view name) const {
  for (const auto& option : options) {
    if (option.name.size() == name.size() &&
        std::equal(name.begin(), name.end(), option.name.begin(),
                   [](char a, char b) { return ascii_upper_char(a) == ascii_upper_char(b); })) {
      return &option;
    }
  }
  return nullptr;
}

}  // namespace wardenix
