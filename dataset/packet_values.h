#pragma once
// Single values as a packet stores them: little-endian integers, length
// prefixes, and the payload of option values.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>

#include "dataset/packet_metadata.h"

namespace wardenix {

inline std::uint16_t load_le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t load_le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}
inline std::uint64_t load_le64(const std::uint8_t* p) {
  return std::uint64_t{load_le32(p)} | (std::uint64_t{load_le32(p + 4)} << 32);
}

// The length a prefix of 1, 2 or 4 bytes gives; a negative 4-byte length is 0.
inline std::size_t load_length_prefix(const std::uint8_t* p, std::uint32_t prefix) {
  switch (prefix) {
    case 1:
      return p[0];
    case 2:
      return load_le16(p);
    default: {
      const auto n = static_cast<std::int32_t>(load_le32(p));
      return n < 0 ? 0 : static_cast<std::size_t>(n);
    }
  }
}

// A 10-byte extended floating-point value as a double (rounded; out of range
// becomes an infinity).
double load_extended(const std::uint8_t* p);

// Bytes one fixed-size value of this type word occupies in a row.
std::uint32_t fixed_value_bytes(std::uint32_t type_word);

// The bytes of a value without its length prefix (or element count).
std::span<const std::uint8_t> value_payload(std::span<const std::uint8_t> encoded,
                                            std::uint32_t type_word);

// An option's value as UTF-8 text: 8-bit strings as they stand, UTF-16
// strings converted; a fixed width loses its trailing zeros.
std::string option_text(const PacketOption& option);

// An integer option (codes 1 and 2, sizes 1, 2, 4 and 8), or nothing.
std::optional<std::int64_t> option_integer(const PacketOption& option);

}  // namespace wardenix
