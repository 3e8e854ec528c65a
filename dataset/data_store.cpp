#include "dataset/data_store.h"

#include <algorithm>
#include <new>
#include <utility>

#include "dataset/packet_budget.h"
#include "dataset/packet_reader.h"
#include "dataset/store_messages.h"
#include "dataset/xml_packet_reader.h"

namespace wardenix {

using namespace store_status;

DataStore::DataStore() = default;
DataStore::~DataStore() = default;

std::int32_t DataStore::SetProperty(Property property, bool value) {
  const std::lock_guard guard(lock_);
  (property == Property::Utf8Text ? utf8_text_ : utf8_error_text_) = value;
  return kOk;
}

bool DataStore::GetProperty(Property property) const {
  const std::lock_guard guard(lock_);
  return property == Property::Utf8Text ? utf8_text_ : utf8_error_text_;
}

std::int32_t DataStore::AppendPacket(const Variant& packet, bool last_packet) {
  const std::lock_guard guard(lock_);
  try {
    return append_locked(packet, last_packet);
  } catch (const std::bad_alloc&) {
    return kInsufficientMemory;
  }
}

std::int32_t DataStore::append_locked(const Variant& packet, bool last_packet) {
  if (!packet.is_array()) return kNotApplicable;  // no packet given
  if (packet.array()->element_type != varByte) return kMismatch;

  Variant holder = packet;
  PacketBytes bytes = holder.bytes();
  if (bytes.size() > kMaxPacketBytes) return kInsufficientMemory;
  PacketBudget budget(bytes.size());
  if (!is_binary_packet(bytes)) {
    std::vector<std::uint8_t> converted;
    if (const auto status = convert_xml_packet(bytes, table_.get(), budget, converted); status != kOk) {
      return status;
    }
    holder = Variant::from_bytes(std::move(converted));
    bytes = holder.bytes();
  }

  PacketHeader header;
  if (const auto status = read_packet_header(bytes, header); status != kOk) return status;

  if (!table_) {
    if (!header.has_metadata()) return kNoMetadata;
    auto table = std::make_unique<PacketTable>();
    std::size_t rows_at = 0;
    if (const auto status = read_packet_metadata(bytes, header, *table, budget, rows_at);
        status != kOk) {
      return status;
    }
    std::size_t rows_end = 0;
    if (const auto status =
            read_packet_rows(bytes, rows_at, header.row_count, *table, budget, row_marks_, rows_end);
        status != kOk) {
      return status;
    }
    table_ = std::move(table);
    first_rows_at_ = rows_at;
    segments_.push_back({0, 0, 0, rows_end});
    row_count_ = header.row_count;
    packets_.push_back(std::move(holder));
    complete_ = last_packet;
    return kOk;
  }

  if (complete_) return kNonPartialAppend;
  std::size_t rows_at = kPacketHeaderSize;
  if (header.has_metadata()) {
    if (header.row_count == 0) {
      complete_ = last_packet;
      return kOk;  // metadata again and no rows: nothing to add
    }
    if (!header.has_row_offset() || header.row_offset < kPacketHeaderSize) return kMismatch;
    rows_at = header.row_offset;
  }
  const std::size_t first_mark = row_marks_.size();
  std::size_t rows_end = 0;
  if (const auto status =
          read_packet_rows(bytes, rows_at, header.row_count, *table_, budget, row_marks_, rows_end);
      status != kOk) {
    return status;
  }
  if (header.row_count > 0) {
    segments_.push_back({row_count_, packets_.size(), first_mark, rows_end});
    row_count_ += header.row_count;
    packets_.push_back(std::move(holder));
  }
  complete_ = last_packet;
  return kOk;
}

std::int32_t DataStore::GetErrorText(std::int32_t status, std::string& text) const {
  text.clear();
  const auto message = store_message(status);
  if (!message) return kCouldNotFindObject;
  // The texts are ASCII, so they read the same whether UTF-8 was asked for.
  text.assign(message->substr(0, kStoreErrorTextMax));
  return kOk;
}

const PacketOption* DataStore::GetOption(std::string_view name) const {
  const std::lock_guard guard(lock_);
  return table_ ? table_->find_option(name) : nullptr;
}

bool DataStore::HasMetadata() const {
  const std::lock_guard guard(lock_);
  return table_ != nullptr;
}

const PacketTable& DataStore::Table() const {
  static const PacketTable kNone;
  return table_ ? *table_ : kNone;
}

std::size_t DataStore::RowCount() const { return row_count_; }

RowView DataStore::Row(std::size_t index) const {
  const auto segment = std::prev(std::upper_bound(
      segments_.begin(), segments_.end(), index, [](std::size_t i, const Segment& s) { return i < s.first_row; }));
  const PacketBytes bytes = packets_[segment->packet].bytes();
  const std::size_t in_segment = index - segment->first_row;
  std::size_t offset = row_marks_[segment->first_mark + in_segment / kRowIndexStride];
  for (std::size_t i = 0; i < in_segment % kRowIndexStride; ++i) {
    offset = RowView(*table_, bytes, offset).end_offset();
  }
  return RowView(*table_, bytes, offset);
}

void DataStore::ForEachRow(const std::function<void(const RowView&)>& each) const {
  for (std::size_t s = 0; s < segments_.size(); ++s) {
    const std::size_t end = s + 1 < segments_.size() ? segments_[s + 1].first_row : row_count_;
    const PacketBytes bytes = packets_[segments_[s].packet].bytes();
    std::size_t offset = segments_[s].first_mark < row_marks_.size() ? row_marks_[segments_[s].first_mark] : 0;
    for (std::size_t i = segments_[s].first_row; i < end; ++i) {
      const RowView row(*table_, bytes, offset);
      each(row);
      offset = row.end_offset();
    }
  }
}

bool DataStore::Complete() const {
  const std::lock_guard guard(lock_);
  return complete_;
}

Variant DataStore::SavePacket() const {
  const std::lock_guard guard(lock_);
  if (!table_) return {};
  if (packets_.size() == 1) return packets_.front();
  const PacketBytes first = packets_.front().bytes();
  std::vector<std::uint8_t> out(first.begin(),
                                first.begin() + static_cast<std::ptrdiff_t>(first_rows_at_));
  for (std::size_t s = 0; s < segments_.size(); ++s) {
    const std::size_t begin = segments_[s].first_row;
    const std::size_t end = s + 1 < segments_.size() ? segments_[s + 1].first_row : row_count_;
    if (begin == end) continue;
    const PacketBytes bytes = packets_[segments_[s].packet].bytes();
    const std::size_t from = row_marks_[segments_[s].first_mark];
    const std::size_t to = segments_[s].rows_end;
    out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(from),
               bytes.begin() + static_cast<std::ptrdiff_t>(to));
  }
  const auto rows = static_cast<std::uint32_t>(row_count_);
  for (std::size_t i = 0; i < 4; ++i) out[14 + i] = static_cast<std::uint8_t>(rows >> (8 * i));
  out[18] = static_cast<std::uint8_t>(out[18] & ~0x2u);  // rows follow the metadata
  out[22] = out[23] = 0;
  return Variant::from_bytes(std::move(out));
}

std::optional<std::size_t> packet_extent(std::span<const std::uint8_t> bytes) {
  return is_binary_packet(bytes) ? binary_packet_extent(bytes) : xml_packet_extent(bytes);
}

}  // namespace wardenix
