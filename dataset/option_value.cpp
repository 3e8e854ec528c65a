#include "dataset/option_value.h"

#include <bit>
#include <cmath>

#include "dataset/packet_values.h"

namespace wardenix {

Variant OptionToVariant(const PacketOption& option) {
  using namespace packet_type;
  const std::uint32_t c = code(option.type_word);
  if (is_array(option.type_word)) return {};
  if (c == kString || c == kWideString) return Variant::from_string(from_utf8(option_text(option)));
  if (is_varying(option.type_word)) return {};
  const auto& v = option.value;
  switch (c) {
    case kBoolean:
      // Read no further than the value: a 1-byte Boolean has only one byte.
      return Variant::from_bool(v.size() >= 2 ? load_le16(v.data()) != 0 : (!v.empty() && v[0] != 0));
    case kInteger:
    case kUnsigned: {
      if (v.size() != 1 && v.size() != 2 && v.size() != 4) return {};
      const auto n = option_integer(option);
      if (!n) return {};
      if (c == kUnsigned && v.size() == 4) return Variant::from_uint32(static_cast<std::uint32_t>(*n));
      if (c == kUnsigned && v.size() == 1) return Variant::from_byte(static_cast<std::uint8_t>(*n));
      return Variant::from_int32(static_cast<std::int32_t>(*n));
    }
    case kFloat:
      if (v.size() == 8) return Variant::from_double(std::bit_cast<double>(load_le64(v.data())));
      if (v.size() == 10) return Variant::from_double(load_extended(v.data()));
      return {};
    default:
      return {};
  }
}

}  // namespace wardenix
