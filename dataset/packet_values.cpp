#include "dataset/packet_values.h"

#include <cmath>
#include <limits>

#include "runtime/ustring.h"

namespace wardenix {

std::uint32_t fixed_value_bytes(std::uint32_t type_word) {
  switch (packet_type::code(type_word)) {
    case packet_type::kBcd:
    case packet_type::kFormattedBcd:
      return 18;  // the size field holds precision, not a byte count
    case packet_type::kSingle:
      return 8;
    case packet_type::kStruct:
    case packet_type::kArrayColumn:
    case packet_type::kNested:
      return 0;
    default:
      return packet_type::size(type_word);
  }
}

double load_extended(const std::uint8_t* p) {
  const std::uint64_t mantissa = load_le64(p);
  const std::uint16_t top = load_le16(p + 8);
  const bool negative = (top & 0x8000) != 0;
  const int exponent = top & 0x7FFF;
  double value = 0.0;
  if (exponent == 0x7FFF) {
    value = (mantissa << 1) == 0 ? std::numeric_limits<double>::infinity()
                                 : std::numeric_limits<double>::quiet_NaN();
  } else {
    value = std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
  }
  return negative ? -value : value;
}

std::span<const std::uint8_t> value_payload(std::span<const std::uint8_t> encoded,
                                            std::uint32_t type_word) {
  const std::uint32_t prefix = packet_type::is_varying(type_word) ? packet_type::size(type_word)
                               : packet_type::is_array(type_word) ? 4
                                                                  : 0;
  if (encoded.size() < prefix) return {};
  return encoded.subspan(prefix);
}

std::string option_text(const PacketOption& option) {
  auto bytes = value_payload(option.value, option.type_word);
  const bool fixed = !packet_type::is_varying(option.type_word);
  if (packet_type::code(option.type_word) == packet_type::kWideString) {
    UString text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      text.push_back(static_cast<char16_t>(load_le16(bytes.data() + i)));
    }
    if (fixed) {
      while (!text.empty() && text.back() == u'\0') text.pop_back();
    }
    return to_utf8(text);
  }
  if (fixed) {
    while (!bytes.empty() && bytes.back() == 0) bytes = bytes.first(bytes.size() - 1);
  }
  return std::string(bytes.begin(), bytes.end());
}

std::optional<std::int64_t> option_integer(const PacketOption& option) {
  const std::uint32_t code = packet_type::code(option.type_word);
  if ((code != packet_type::kInteger && code != packet_type::kUnsigned) ||
      packet_type::is_varying(option.type_word) || packet_type::is_array(option.type_word)) {
    return std::nullopt;
  }
  const std::uint8_t* p = option.value.data();
  const bool is_signed = code == packet_type::kInteger;
  switch (option.value.size()) {
    case 1:
      return is_signed ? std::int64_t{static_cast<std::int8_t>(p[0])} : std::int64_t{p[0]};
    case 2:
      return is_signed ? std::int64_t{static_cast<std::int16_t>(load_le16(p))}
                       : std::int64_t{load_le16(p)};
    case 4:
      return is_signed ? std::int64_t{static_cast<std::int32_t>(load_le32(p))}
                       : std::int64_t{load_le32(p)};
    case 8:
      return static_cast<std::int64_t>(load_le64(p));
    default:
      return std::nullopt;
  }
}

}  // namespace wardenix
