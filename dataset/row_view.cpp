#include "dataset/row_view.h"

#include "dataset/packet_values.h"

namespace wardenix {

namespace {

// Walks a row that the reader has checked; the bounds are tested all the same
// so that a view can never read outside its packet. Returns the offset after
// the row.
std::size_t walk_row(const PacketTable& table, std::span<const std::uint8_t> packet,
                     std::size_t pos, const std::function<void(const RowValue&)>* each) {
  const std::size_t size = packet.size();
  if (pos > size || size - pos < table.min_row_size()) return size;
  const std::uint8_t* data = packet.data();
  const std::uint8_t* status = data + pos + 1;
  pos += table.min_row_size();
  for (std::size_t j = 0; j < table.positions.size(); ++j) {
    const RowPosition& p = table.positions[j];
    RowValue value;
    value.column = p.column;
    const unsigned bits = (static_cast<unsigned>(status[j >> 2]) >> ((j & 3u) << 1)) & 3u;
    if (bits != 0 || p.kind == ValueKind::None) {
      value.state = p.kind == ValueKind::None ? SlotState::Empty
                    : (bits & 1u)             ? SlotState::Blank
                                              : SlotState::Unchanged;
      if (each) (*each)(value);
      continue;
    }
    value.state = SlotState::Value;
    switch (p.kind) {
      case ValueKind::None:
        break;
      case ValueKind::Fixed:
        if (size - pos < p.size) return size;
        value.bytes = packet.subspan(pos, p.size);
        pos += p.size;
        break;
      case ValueKind::Varying: {
        if (size - pos < p.size) return size;
        const std::size_t length = load_length_prefix(data + pos, p.size);
        pos += p.size;
        if (size - pos < length) return size;
        value.bytes = packet.subspan(pos, length);
        pos += length;
        break;
      }
      case ValueKind::Nested: {
        if (size - pos < 4) return size;
        const auto n = static_cast<std::int32_t>(load_le32(data + pos));
        pos += 4;
        const std::size_t first = pos;
        std::size_t count = 0;
        for (; count < static_cast<std::size_t>(n < 0 ? 0 : n) && pos < size; ++count) {
          pos = walk_row(*p.nested, packet, pos, nullptr);
        }
        value.nested_rows = NestedRows(p.nested, packet, first, count);
        break;
      }
    }
    if (each) (*each)(value);
  }
  return pos;
}

}  // namespace

std::size_t RowView::end_offset() const { return walk_row(*table_, packet_, offset_, nullptr); }

std::uint8_t RowView::row_state() const {
  return offset_ < packet_.size() ? packet_[offset_] : std::uint8_t{0};
}

std::vector<RowValue> RowView::values() const {
  std::vector<RowValue> out;
  out.reserve(table_->positions.size());
  visit([&](const RowValue& value) { out.push_back(value); });
  return out;
}

void RowView::visit(const std::function<void(const RowValue&)>& each) const {
  walk_row(*table_, packet_, offset_, &each);
}

RowView NestedRows::iterator::operator*() const { return RowView(*rows_->table_, rows_->packet_, offset_); }

NestedRows::iterator& NestedRows::iterator::operator++() {
  offset_ = RowView(*rows_->table_, rows_->packet_, offset_).end_offset();
  ++index_;
  return *this;
}

NestedRows::iterator NestedRows::iterator::operator++(int) {
  iterator before = *this;
  ++*this;
  return before;
}

RowView NestedRows::operator[](std::size_t index) const {
  auto it = begin();
  for (std::size_t i = 0; i < index; ++i) ++it;
  return *it;
}

}  // namespace wardenix
