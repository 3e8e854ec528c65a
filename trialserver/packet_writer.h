#pragma once
// Writes binary data packets: the header, one descriptor per column, no
// table options, then the rows. Only flat tables of a few plain kinds of
// column: what the trial server needs to return a table.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace wardenix::trial {

enum class ColumnKind {
  Int32,    // signed 32-bit integer
  Boolean,  // 16-bit boolean
  Double,   // 8-byte floating point
  Text,     // 8-bit text up to 255 bytes, with a 1-byte length prefix
};

struct ColumnSpec {
  std::string name;  // UTF-8, 1 to 255 bytes
  ColumnKind kind = ColumnKind::Int32;
  std::uint16_t width = 0;  // text columns: the "WIDTH" option, 0 for none
  bool required = false;
};

// A blank (null) value, or one that fits its column's kind.
using CellValue = std::variant<std::monostate, std::int32_t, bool, double, std::string>;
using PacketRow = std::vector<CellValue>;

class DataPacketWriter {
 public:
  explicit DataPacketWriter(std::vector<ColumnSpec> columns);

  // Appends one row; returns false (and appends nothing) when it does not
  // have one value per column of the right kind, or a text is too long.
  bool AddRow(const PacketRow& row);

  // The whole packet.
  std::vector<std::uint8_t> Finish() const;

 private:
  std::vector<ColumnSpec> columns_;
  std::vector<std::uint8_t> metadata_;
  std::vector<std::uint8_t> rows_;
  std::uint32_t row_count_ = 0;
};

}  // namespace wardenix::trial
