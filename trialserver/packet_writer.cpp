#include "trialserver/packet_writer.h"

#include <cstring>

namespace wardenix::trial {
namespace {

constexpr std::uint32_t kSignature = 0xBDE01996u;
constexpr std::uint32_t kHeaderSize = 24;
constexpr std::uint32_t kFlagMetadata = 0x1;
constexpr std::uint32_t kFlagRowOffset = 0x2;
constexpr std::uint32_t kVarying = 0x400000u;
constexpr std::uint16_t kRequired = 0x4;
constexpr std::uint8_t kBlankBit = 0x1;

std::uint32_t type_word(std::uint32_t code, std::uint32_t size, std::uint32_t flags = 0) {
  return (code << 16) | size | flags;
}

std::uint32_t column_type_word(ColumnKind kind) {
  switch (kind) {
    case ColumnKind::Int32: return type_word(1, 4);
    case ColumnKind::Boolean: return type_word(3, 2);
    case ColumnKind::Double: return type_word(4, 8);
    case ColumnKind::Text: return type_word(9, 1, kVarying);
  }
  return 0;
}

void put_le(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void put_name(std::vector<std::uint8_t>& out, const std::string& name) {
  out.push_back(static_cast<std::uint8_t>(name.size()));
  out.insert(out.end(), name.begin(), name.end());
}

bool fits(const ColumnSpec& column, const CellValue& value) {
  switch (column.kind) {
    case ColumnKind::Int32: return std::holds_alternative<std::int32_t>(value);
    case ColumnKind::Boolean: return std::holds_alternative<bool>(value);
    case ColumnKind::Double: return std::holds_alternative<double>(value);
    case ColumnKind::Text: {
      const auto* text = std::get_if<std::string>(&value);
      return text && text->size() <= 255;
    }
  }
  return false;
}

void put_value(std::vector<std::uint8_t>& out, const CellValue& value) {
  if (const auto* i = std::get_if<std::int32_t>(&value)) {
    put_le(out, static_cast<std::uint32_t>(*i), 4);
  } else if (const auto* b = std::get_if<bool>(&value)) {
    put_le(out, *b ? 1u : 0u, 2);
  } else if (const auto* d = std::get_if<double>(&value)) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, d, sizeof bits);
    put_le(out, bits, 8);
  } else if (const auto* text = std::get_if<std::string>(&value)) {
    out.push_back(static_cast<std::uint8_t>(text->size()));
    out.insert(out.end(), text->begin(), text->end());
  }
}

}  // namespace

DataPacketWriter::DataPacketWriter(std::vector<ColumnSpec> columns) : columns_(std::move(columns)) {
  for (const ColumnSpec& column : columns_) {
    put_name(metadata_, column.name);
    put_le(metadata_, column_type_word(column.kind), 4);
    put_le(metadata_, column.required ? kRequired : 0u, 2);
    const bool has_width = column.kind == ColumnKind::Text && column.width > 0;
    put_le(metadata_, has_width ? 1u : 0u, 2);
    if (has_width) {
      put_name(metadata_, "WIDTH");
      put_le(metadata_, type_word(2, 2), 4);
      put_le(metadata_, column.width, 2);
    }
  }
  put_le(metadata_, 0, 2);  // no table options
}

bool DataPacketWriter::AddRow(const PacketRow& row) {
  if (row.size() != columns_.size()) return false;
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (!std::holds_alternative<std::monostate>(row[i]) && !fits(columns_[i], row[i])) return false;
  }
  const std::size_t start = rows_.size();
  rows_.push_back(0);  // an ordinary row
  rows_.resize(start + 1 + (columns_.size() + 3) / 4, 0);
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (std::holds_alternative<std::monostate>(row[i])) {
      rows_[start + 1 + i / 4] |= static_cast<std::uint8_t>(kBlankBit << ((i % 4) * 2));
    } else {
      put_value(rows_, row[i]);
    }
  }
  ++row_count_;
  return true;
}

std::vector<std::uint8_t> DataPacketWriter::Finish() const {
  std::vector<std::uint8_t> packet;
  packet.reserve(kHeaderSize + metadata_.size() + rows_.size());
  const std::size_t row_offset = kHeaderSize + metadata_.size();
  const bool offset_fits = row_offset <= 0xFFFF;
  put_le(packet, kSignature, 4);
  put_le(packet, 1, 2);  // version numbers
  put_le(packet, 0, 2);
  put_le(packet, kHeaderSize, 4);
  put_le(packet, columns_.size(), 2);
  put_le(packet, row_count_, 4);
  put_le(packet, kFlagMetadata | (offset_fits ? kFlagRowOffset : 0u), 4);
  put_le(packet, offset_fits ? row_offset : 0u, 2);
  packet.insert(packet.end(), metadata_.begin(), metadata_.end());
  packet.insert(packet.end(), rows_.begin(), rows_.end());
  return packet;
}

}  // namespace wardenix::trial
