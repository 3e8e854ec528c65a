#pragma once
// Reading back the rows a data store holds: per position whether it is
// blank, unchanged or has a value, and the value's bytes. Nothing is copied
// out of the packet, and the rows of a nested table are found as they are
// walked, so reading a row costs no more than its own positions.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
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
  // The same entries one at a time, without a list of them.
  void visit(const std::function<void(const RowValue&)>& each) const;
  // The offset just after the row in its packet.
  std::size_t end_offset() const;

 private:
  const PacketTable* table_;
  std::span<const std::uint8_t> packet_;
  std::size_t offset_;
};

// The rows of a nested table in one value, one after the other in the packet.
class NestedRows {
 public:
  class iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = RowView;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = RowView;

    iterator() = default;
    iterator(const NestedRows* rows, std::size_t index, std::size_t offset)
        : rows_(rows), index_(index), offset_(offset) {}
    RowView operator*() const;
    iterator& operator++();
    iterator operator++(int);
    friend bool operator==(const iterator& a, const iterator& b) { return a.index_ == b.index_; }

   private:
    const NestedRows* rows_ = nullptr;
    std::size_t index_ = 0;
    std::size_t offset_ = 0;
  };

  NestedRows() = default;
  NestedRows(const PacketTable* table, std::span<const std::uint8_t> packet, std::size_t offset,
             std::size_t count)
      : table_(table), packet_(packet), offset_(offset), count_(count) {}

  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  // Walks the rows before it.
  RowView operator[](std::size_t index) const;
  iterator begin() const { return {this, 0, offset_}; }
  iterator end() const { return {this, count_, 0}; }

 private:
  const PacketTable* table_ = nullptr;
  std::span<const std::uint8_t> packet_;
  std::size_t offset_ = 0;
  std::size_t count_ = 0;
};

struct RowValue {
  SlotState state = SlotState::Empty;
  std::uint32_t column = 0;  // descriptor index in the row's table
  // The value's bytes, without a length prefix; empty for a nested table.
  std::span<const std::uint8_t> bytes;
  NestedRows nested_rows;
};

}  // namespace wardenix
