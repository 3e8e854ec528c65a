#pragma once
// Builds data packets for tests, fuzz seeds and benchmarks, so that no packet
// is typed in by hand. Metadata comes from a TableSpec; rows are written value
// by value. Every count, length and offset the writer puts down is recorded,
// so that corruption tests can rewrite them.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wardenix::test {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint32_t kVarying = 0x400000u;
inline constexpr std::uint32_t kArrayBit = 0x800000u;

constexpr std::uint32_t type_word(std::uint32_t code, std::uint32_t size, std::uint32_t flags = 0) {
  return (code << 16) | (size & 0xFFFFu) | flags;
}

// Little-endian bytes of the low `width` bytes of `value`.
Bytes le(std::uint64_t value, std::size_t width);
Bytes f64(double value);
// A varying value: a length prefix of `prefix` bytes, then the payload.
Bytes prefixed(std::size_t prefix, std::string_view payload);
Bytes prefixed(std::size_t prefix, const Bytes& payload);
Bytes utf16le(std::u16string_view text);

struct OptionSpec {
  std::string name;
  std::uint32_t type_word = 0;
  Bytes value;  // encoded as in a row: with prefix or element count
};
OptionSpec bool_option(std::string name, bool value);
OptionSpec int_option(std::string name, std::int32_t value);
OptionSpec text_option(std::string name, std::string_view text);

struct ColumnSpec {
  std::string name;
  std::uint32_t type_word = 0;
  std::uint16_t attributes = 0;
  std::vector<OptionSpec> options;
  // Members of a structured column, or the one element of an array column.
  std::vector<ColumnSpec> members;
  // The nested table of a nested-table column.
  std::vector<ColumnSpec> nested_columns;
  std::vector<OptionSpec> nested_options;
  // Low 16 bits of a structured or nested column's type word; by default the
  // member count or the number of descriptors below.
  std::optional<std::uint32_t> count_override;
};

ColumnSpec column(std::string name, std::uint32_t code, std::uint32_t size, std::uint32_t flags = 0);
ColumnSpec struct_column(std::string name, std::vector<ColumnSpec> members);
ColumnSpec array_column(std::string name, std::uint32_t elements, ColumnSpec element);
ColumnSpec nested_column(std::string name, std::vector<ColumnSpec> columns,
                         std::vector<OptionSpec> options = {});

struct TableSpec {
  std::vector<ColumnSpec> columns;
  std::vector<OptionSpec> options;
};

// Row positions of a table with these columns.
std::size_t positions_of(const std::vector<ColumnSpec>& columns);
// Column descriptors, nested ones included.
std::size_t descriptors_of(const std::vector<ColumnSpec>& columns);

struct HeaderSpec {
  std::uint32_t signature = 0xBDE01996u;
  std::uint16_t version1 = 1;
  std::uint16_t version2 = 0;
  std::optional<std::uint32_t> header_size;
  std::optional<std::uint16_t> column_count;
  std::optional<std::uint32_t> row_count;
  std::uint32_t flags = 0x1;
  bool fill_row_offset = false;  // set flag bit 1 and the offset of the first row
  bool metadata = true;          // write the descriptors (a packet of rows only without)
};

// A count, length or offset field in a written packet.
struct CountField {
  std::size_t offset;
  std::size_t width;
  std::string what;
};

class PacketWriter {
 public:
  explicit PacketWriter(const TableSpec& table, HeaderSpec header = {});

  PacketWriter& begin_row(std::size_t positions, std::uint8_t state = 0);
  PacketWriter& end_row();
  PacketWriter& value(const Bytes& encoded);  // fixed value bytes as they stand
  PacketWriter& varying(std::size_t prefix, const Bytes& payload);
  PacketWriter& varying(std::size_t prefix, std::string_view payload);
  PacketWriter& blank();
  PacketWriter& unchanged();
  PacketWriter& empty();  // the own position of a structured or array column
  // A nested-table value: its row count; its rows follow with begin_row.
  PacketWriter& nested(std::int32_t rows);

  const std::vector<CountField>& count_fields() const { return fields_; }
  std::size_t size() const { return bytes_.size(); }
  Bytes finish();

 private:
  void write_option(const OptionSpec& option);
  void write_columns(const std::vector<ColumnSpec>& columns);
  void write_table_options(const std::vector<OptionSpec>& options);
  void count(std::size_t width, std::uint64_t value, std::string what);
  void put(const Bytes& b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }
  void set_status(unsigned bits);

  Bytes bytes_;
  HeaderSpec header_;
  std::vector<CountField> fields_;
  struct OpenRow {
    std::size_t status_at;
    std::size_t position;
  };
  std::vector<OpenRow> open_;
  std::uint32_t rows_ = 0;
};

// XML packets for tests: attribute values are escaped.
std::string xml_escape(std::string_view text);

}  // namespace wardenix::test
