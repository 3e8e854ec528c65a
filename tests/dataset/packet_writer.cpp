#include "tests/dataset/packet_writer.h"

#include <bit>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace wardenix::test {

Bytes le(std::uint64_t value, std::size_t width) {
  Bytes b(width);
  for (std::size_t i = 0; i < width; ++i) b[i] = static_cast<std::uint8_t>(value >> (8 * i));
  return b;
}

Bytes f64(double value) { return le(std::bit_cast<std::uint64_t>(value), 8); }

Bytes prefixed(std::size_t prefix, const Bytes& payload) {
  Bytes b;
  b.reserve(prefix + payload.size());
  for (std::size_t i = 0; i < prefix; ++i) b.push_back(static_cast<std::uint8_t>(payload.size() >> (8 * i)));
  for (const auto c : payload) b.push_back(c);
  return b;
}

Bytes prefixed(std::size_t prefix, std::string_view payload) {
  return prefixed(prefix, Bytes(payload.begin(), payload.end()));
}

Bytes utf16le(std::u16string_view text) {
  Bytes b;
  for (const char16_t c : text) {
    b.push_back(static_cast<std::uint8_t>(c & 0xFF));
    b.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return b;
}

OptionSpec bool_option(std::string name, bool value) {
  return {std::move(name), type_word(3, 2), le(value ? 0xFFFF : 0, 2)};
}

OptionSpec int_option(std::string name, std::int32_t value) {
  return {std::move(name), type_word(1, 4), le(static_cast<std::uint32_t>(value), 4)};
}

OptionSpec text_option(std::string name, std::string_view text) {
  return {std::move(name), type_word(9, 2, kVarying), prefixed(2, text)};
}

ColumnSpec column(std::string name, std::uint32_t code, std::uint32_t size, std::uint32_t flags) {
  ColumnSpec c;
  c.name = std::move(name);
  c.type_word = type_word(code, size, flags);
  return c;
}

ColumnSpec struct_column(std::string name, std::vector<ColumnSpec> members) {
  ColumnSpec c = column(std::move(name), 12, 0);
  c.members = std::move(members);
  return c;
}

ColumnSpec array_column(std::string name, std::uint32_t elements, ColumnSpec element) {
  ColumnSpec c = column(std::move(name), 13, elements);
  c.members.push_back(std::move(element));
  return c;
}

ColumnSpec nested_column(std::string name, std::vector<ColumnSpec> columns,
                         std::vector<OptionSpec> options) {
  ColumnSpec c = column(std::move(name), 14, 0);
  c.nested_columns = std::move(columns);
  c.nested_options = std::move(options);
  return c;
}

namespace {

std::size_t positions_of_column(const ColumnSpec& c) {
  const std::uint32_t code = (c.type_word >> 16) & 0x3F;
  if (code == 12) return 1 + positions_of(c.members);
  if (code == 13) return 1 + (c.type_word & 0xFFFF) * positions_of(c.members);
  return 1;
}

}  // namespace

std::size_t positions_of(const std::vector<ColumnSpec>& columns) {
  std::size_t n = 0;
  for (const auto& c : columns) n += positions_of_column(c);
  return n;
}

std::size_t descriptors_of(const std::vector<ColumnSpec>& columns) {
  std::size_t n = 0;
  for (const auto& c : columns) {
    n += 1 + descriptors_of(c.members) + descriptors_of(c.nested_columns);
  }
  return n;
}

PacketWriter::PacketWriter(const TableSpec& table, HeaderSpec header) : header_(header) {
  bytes_ = le(header_.signature, 4);
  put(le(header_.version1, 2));
  put(le(header_.version2, 2));
  count(4, header_.header_size.value_or(24), "header size");
  count(2, header_.column_count.value_or(static_cast<std::uint16_t>(descriptors_of(table.columns))),
        "column count");
  count(4, 0, "row count");
  put(le(header_.flags, 4));
  count(2, 0, "row offset");
  if (!header_.metadata) return;
  write_columns(table.columns);
  write_table_options(table.options);
  if (header_.fill_row_offset) {
    const auto flags = header_.flags | 0x2u;
    for (std::size_t i = 0; i < 4; ++i) bytes_[18 + i] = static_cast<std::uint8_t>(flags >> (8 * i));
    bytes_[22] = static_cast<std::uint8_t>(bytes_.size());
    bytes_[23] = static_cast<std::uint8_t>(bytes_.size() >> 8);
  }
}

void PacketWriter::count(std::size_t width, std::uint64_t value, std::string what) {
  fields_.push_back({bytes_.size(), width, std::move(what)});
  put(le(value, width));
}

void PacketWriter::write_option(const OptionSpec& option) {
  count(1, option.name.size(), "option name length");
  bytes_.insert(bytes_.end(), option.name.begin(), option.name.end());
  put(le(option.type_word, 4));
  if (option.type_word & kVarying) {
    count(option.type_word & 0xFFFF, 0, "option value length");
    bytes_.resize(bytes_.size() - (option.type_word & 0xFFFF));
  } else if (option.type_word & kArrayBit) {
    count(4, 0, "option element count");
    bytes_.resize(bytes_.size() - 4);
  }
  put(option.value);
}

void PacketWriter::write_table_options(const std::vector<OptionSpec>& options) {
  count(2, options.size(), "table option count");
  for (const auto& o : options) write_option(o);
}

void PacketWriter::write_columns(const std::vector<ColumnSpec>& columns) {
  for (const auto& c : columns) {
    count(1, c.name.size(), "name length");
    bytes_.insert(bytes_.end(), c.name.begin(), c.name.end());
    const std::uint32_t code = (c.type_word >> 16) & 0x3F;
    std::uint32_t word = c.type_word;
    if (code == 12 || code == 14) {
      const std::size_t n = c.count_override.value_or(
          static_cast<std::uint32_t>(code == 12 ? c.members.size() : descriptors_of(c.nested_columns)));
      word = (word & ~0xFFFFu) | static_cast<std::uint32_t>(n & 0xFFFF);
      fields_.push_back({bytes_.size(), 2, code == 12 ? "member count" : "nested column count"});
    }
    if (code == 13) fields_.push_back({bytes_.size(), 2, "array element count"});
    put(le(word, 4));
    put(le(c.attributes, 2));
    count(2, c.options.size(), "column option count");
    for (const auto& o : c.options) write_option(o);
    if (code == 14) {
      write_columns(c.nested_columns);
      write_table_options(c.nested_options);
    } else {
      write_columns(c.members);
    }
  }
}

PacketWriter& PacketWriter::begin_row(std::size_t positions, std::uint8_t state) {
  bytes_.push_back(state);
  open_.push_back({bytes_.size(), 0});
  bytes_.resize(bytes_.size() + (positions + 3) / 4, 0);
  return *this;
}

PacketWriter& PacketWriter::end_row() {
  open_.pop_back();
  if (open_.empty()) ++rows_;
  return *this;
}

PacketWriter& PacketWriter::value(const Bytes& encoded) {
  put(encoded);
  ++open_.back().position;
  return *this;
}

PacketWriter& PacketWriter::varying(std::size_t prefix, const Bytes& payload) {
  count(prefix, payload.size(), "value length");
  put(payload);
  ++open_.back().position;
  return *this;
}

PacketWriter& PacketWriter::varying(std::size_t prefix, std::string_view payload) {
  return varying(prefix, Bytes(payload.begin(), payload.end()));
}

void PacketWriter::set_status(unsigned bits) {
  OpenRow& row = open_.back();
  bytes_[row.status_at + row.position / 4] |=
      static_cast<std::uint8_t>(bits << ((row.position % 4) * 2));
  ++row.position;
}

PacketWriter& PacketWriter::blank() {
  set_status(1);
  return *this;
}

PacketWriter& PacketWriter::unchanged() {
  set_status(2);
  return *this;
}

PacketWriter& PacketWriter::empty() {
  ++open_.back().position;
  return *this;
}

PacketWriter& PacketWriter::nested(std::int32_t rows) {
  count(4, static_cast<std::uint32_t>(rows), "nested row count");
  ++open_.back().position;
  return *this;
}

Bytes PacketWriter::finish() {
  const std::uint32_t rows = header_.row_count.value_or(rows_);
  for (std::size_t i = 0; i < 4; ++i) bytes_[14 + i] = static_cast<std::uint8_t>(rows >> (8 * i));
  return std::move(bytes_);
}

std::string xml_escape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

}  // namespace wardenix::test
