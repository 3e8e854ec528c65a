#pragma once
// The data store: the in-memory table built from data packets. It keeps the
// packets it accepted and reads its rows from them, so loading a binary packet
// costs one pass over its bytes and an offset per 16 rows; an XML packet is
// read into the binary form first. What a packet may cost is in
// packet_budget.h.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/packet_metadata.h"
#include "dataset/row_view.h"
#include "runtime/variant.h"

namespace wardenix {

// The store's error texts are at most this long.
inline constexpr std::size_t kStoreErrorTextMax = 2048;

class DataStore {
 public:
  enum class Property {
    Utf8Text,       // text read from packets is kept in UTF-8
    Utf8ErrorText,  // error texts are returned in UTF-8
  };

  DataStore();
  DataStore(const DataStore&) = delete;
  DataStore& operator=(const DataStore&) = delete;
  ~DataStore();

  std::int32_t SetProperty(Property property, bool value);
  bool GetProperty(Property property) const;

  // Reads a packet (a byte array, binary or XML) into the store. The store
  // keeps a reference to the packet's bytes, which a Variant never changes.
  // Nothing of a rejected packet is kept. A packet larger than
  // kMaxPacketBytes, or one that would cost more than its budget, gives
  // 9473 (insufficient memory).
  std::int32_t AppendPacket(const Variant& packet, bool last_packet);

  // The text of `status`; a code without a text gives 8712 and no text.
  std::int32_t GetErrorText(std::int32_t status, std::string& text) const;

  // A named option of the top-level table, or nothing.
  const PacketOption* GetOption(std::string_view name) const;

  // Reading back. The table exists once a first packet was accepted.
  bool HasMetadata() const;
  const PacketTable& Table() const;
  std::size_t RowCount() const;
  // Walks the rows before it from the nearest mark.
  RowView Row(std::size_t index) const;
  // Every row in order, each found from the one before.
  void ForEachRow(const std::function<void(const RowView&)>& each) const;
  bool Complete() const;

  // The store's contents as one binary packet: the first packet's metadata
  // and every row the store holds. Unassigned for a store without metadata.
  Variant SavePacket() const;

 private:
  std::int32_t append_locked(const Variant& packet, bool last_packet);

  mutable std::mutex lock_;
  bool utf8_text_ = false;
  bool utf8_error_text_ = false;
  std::unique_ptr<PacketTable> table_;
  std::vector<Variant> packets_;
  // Rows [first_row, next segment's first_row) live in packets_[packet], up to
  // the offset rows_end; the offset of every kRowIndexStride-th of them is
  // in row_marks_ from first_mark on.
  struct Segment {
    std::size_t first_row;
    std::size_t packet;
    std::size_t first_mark;
    std::size_t rows_end;
  };
  std::vector<Segment> segments_;
  std::vector<std::uint32_t> row_marks_;
  std::size_t row_count_ = 0;
  std::size_t first_rows_at_ = 0;  // where the rows of the first packet begin
  bool complete_ = false;
};

// The length of the packet at the start of `bytes`, binary or XML, once
// `bytes` holds all of it; a store never looks at the bytes after it. Nothing
// while it is cut short or cannot be read.
std::optional<std::size_t> packet_extent(std::span<const std::uint8_t> bytes);

}  // namespace wardenix
