#pragma once
// Reading back the rows a data store holds: per position whether it is
// blank, unchanged or has a value, and the value's bytes.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "dataset/packet_metadata.h"

namespace wardenix {

enum class SlotState : std::uint8_t {
  Value,
  Blank,
  Unchanged,
  Empty,  // the own position of a structured or array column
};

struct RowValue;

// One row of one table, read from the packet bytes it was checked in.
class RowView {
 public:
  RowView(const PacketTable& table, std::span<const std::uint8_t> packet, std::size_t offset)
      : table_(&table), packet_(packet), offset_(offset) {}

  const PacketTable& table() const { return *table_; }
  std::uint8_t row_state() const;
  // One entry per row position, in position order.
  std::vector<RowValue> values() const;
  // The offset just after the row in its packet.
  std::size_t end_offset() const;

 private:
  const PacketTable* table_;
  std::span<const std::uint8_t> packet_;
  std::size_t offset_;
};

struct RowValue {
  SlotState state = SlotState::Empty;
  std::uint32_t column = 0;  // descriptor index in the row's table
  // The value's bytes, without a length prefix; empty for a nested table.
  std::span<const std::uint8_t> bytes;
  std::vector<RowView> nested_rows;
};

}  // namespace wardenix
