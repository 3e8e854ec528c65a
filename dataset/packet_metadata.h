#pragma once
// What a data packet says about its tables: columns with their options, the
// table options, and the row layout derived from them.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wardenix {

// The field type word: size in bits 0-15, type code in bits 16-21, flags above.
namespace packet_type {
inline constexpr std::uint32_t kSizeMask = 0xFFFFu;
inline constexpr std::uint32_t kVarying = 0x400000u;
inline constexpr std::uint32_t kArray = 0x800000u;

inline constexpr std::uint32_t kInteger = 1;
inline constexpr std::uint32_t kUnsigned = 2;
inline constexpr std::uint32_t kBoolean = 3;
inline constexpr std::uint32_t kFloat = 4;
inline constexpr std::uint32_t kBcd = 5;
inline constexpr std::uint32_t kDate = 6;
inline constexpr std::uint32_t kTime = 7;
inline constexpr std::uint32_t kDateTime = 8;
inline constexpr std::uint32_t kString = 9;
inline constexpr std::uint32_t kWideString = 10;
inline constexpr std::uint32_t kBytes = 11;
inline constexpr std::uint32_t kStruct = 12;
inline constexpr std::uint32_t kArrayColumn = 13;
inline constexpr std::uint32_t kNested = 14;
inline constexpr std::uint32_t kBytesAlias = 16;
inline constexpr std::uint32_t kSqlTimestamp = 17;
inline constexpr std::uint32_t kFormattedBcd = 18;
inline constexpr std::uint32_t kSingle = 27;
inline constexpr std::uint32_t kSqlTimestampOffset = 36;

inline constexpr std::uint32_t code(std::uint32_t type_word) { return (type_word >> 16) & 0x3Fu; }
inline constexpr std::uint32_t size(std::uint32_t type_word) { return type_word & kSizeMask; }
inline constexpr bool is_varying(std::uint32_t type_word) { return (type_word & kVarying) != 0; }
inline constexpr bool is_array(std::uint32_t type_word) { return (type_word & kArray) != 0; }
inline constexpr std::uint32_t word(std::uint32_t code, std::uint32_t size, std::uint32_t flags = 0) {
  return (code << 16) | (size & kSizeMask) | flags;
}
}  // namespace packet_type

namespace column_attribute {
inline constexpr std::uint16_t kHidden = 0x1;
inline constexpr std::uint16_t kReadOnly = 0x2;
inline constexpr std::uint16_t kRequired = 0x4;
inline constexpr std::uint16_t kLink = 0x8;
}  // namespace column_attribute

// A named option of a column or a table. `value` holds the value's bytes as
// they are encoded in the packet, length prefix or element count included.
struct PacketOption {
  std::string name;
  std::uint32_t type_word = 0;
  std::vector<std::uint8_t> value;
};

struct PacketTable;

struct PacketColumn {
  std::string name;  // UTF-8, at most the first 31 bytes of the stored name
  std::uint32_t type_word = 0;
  std::uint16_t attributes = 0;
  std::vector<PacketOption> options;
  // Descriptor indexes (in the same table) of the members of a structured
  // column, or of the one element descriptor of an array column.
  std::vector<std::uint32_t> members;
  bool is_member = false;  // belongs to a structured or array column
  std::unique_ptr<PacketTable> nested;  // the nested table of a nested-table column

  // What the known column options say.
  std::optional<std::int64_t> width;
  std::optional<std::int64_t> elements;
  std::optional<std::int64_t> decimals;
  bool calculated = false;
  std::string subtype;  // one of the known subtypes, as spelled in the packet
  std::optional<std::string> full_name;  // "FIELDNAME", as UTF-8

  std::uint32_t code() const { return packet_type::code(type_word); }
  std::uint32_t size() const { return packet_type::size(type_word); }
};

// How one row position stores its value.
enum class ValueKind : std::uint8_t {
  None,     // the own position of a structured or array column: no bytes
  Fixed,    // `size` bytes
  Varying,  // a `size`-byte length prefix, then that many bytes
  Nested,   // a 4-byte row count, then rows of `nested`
};

struct RowPosition {
  ValueKind kind = ValueKind::None;
  std::uint32_t size = 0;
  std::uint32_t column = 0;  // descriptor index in the table
  const PacketTable* nested = nullptr;
};

struct PacketTable {
  std::vector<PacketColumn> columns;  // in descriptor order
  std::vector<PacketOption> options;
  std::vector<RowPosition> positions;
  std::uint32_t status_bytes = 0;  // per row, after the row state byte

  std::size_t min_row_size() const { return 1 + std::size_t{status_bytes}; }
  // The first option of that name, compared without regard to ASCII case.
  const PacketOption* find_option(std::string_view name) const;
};

}  // namespace wardenix
