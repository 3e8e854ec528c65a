#include "dataset/packet_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#include "dataset/packet_values.h"
#include "dataset/store_messages.h"

namespace wardenix {

namespace {

using namespace store_status;

// Row positions a whole packet may lay out. Arrays multiply positions, so a
// few bytes of metadata could otherwise ask for a layout of any size.
constexpr std::size_t kMaxPositions = std::size_t{1} << 20;
// Structured and array columns inside each other, over all levels of a packet.
constexpr int kMaxMemberDepth = 63;
constexpr std::size_t kMaxStoredNameBytes = 31;
// The fewest bytes a column descriptor (a name of one byte, type word,
// attributes, option count) and an option entry (an empty name and value)
// take.
constexpr std::size_t kMinDescriptorBytes = 10;
constexpr std::size_t kMinOptionBytes = 5;

class ByteReader {
 public:
  ByteReader(PacketBytes bytes, std::size_t pos) : bytes_(bytes), pos_(pos) {}

  std::size_t pos() const { return pos_; }
  std::size_t remaining() const { return bytes_.size() - pos_; }
  PacketBytes rest() const { return bytes_.subspan(pos_); }

  bool u8(std::uint8_t& v) {
    if (remaining() < 1) return false;
    v = bytes_[pos_++];
    return true;
  }
  bool u16(std::uint16_t& v) {
    if (remaining() < 2) return false;
    v = load_le16(bytes_.data() + pos_);
    pos_ += 2;
    return true;
  }
  bool u32(std::uint32_t& v) {
    if (remaining() < 4) return false;
    v = load_le32(bytes_.data() + pos_);
    pos_ += 4;
    return true;
  }
  bool take(std::size_t n, PacketBytes& out) {
    if (remaining() < n) return false;
    out = bytes_.subspan(pos_, n);
    pos_ += n;
    return true;
  }

 private:
  PacketBytes bytes_;
  std::size_t pos_;
};

bool size_allowed(std::uint32_t code, std::uint32_t size) {
  using namespace packet_type;
  switch (code) {
    case kInteger:
    case kUnsigned:
      return size == 1 || size == 2 || size == 4 || size == 8;
    case kBoolean:
      return size == 1 || size == 2 || size == 4;
    case kFloat:
      return size == 8 || size == 10;
    case kDate:
    case kTime:
    case kSingle:
      return size == 4;
    case kDateTime:
      return size == 8;
    case kSqlTimestamp:
      return size == 16;
    case kSqlTimestampOffset:
      return size == 20;
    default:
      return true;  // any size: BCD, strings, bytes and codes the reader does not know
  }
}

bool is_structural(std::uint32_t code) {
  return code == packet_type::kStruct || code == packet_type::kArrayColumn ||
         code == packet_type::kNested;
}

// Options carry plain values only; columns may be structural but not arrays.
std::int32_t check_type_word(std::uint32_t word, bool for_column) {
  using namespace packet_type;
  const std::uint32_t c = code(word);
  const bool varying = is_varying(word);
  const bool array = is_array(word);
  if (varying && array) return kInvalidFieldType;
  if (array && for_column) return kInvalidFieldType;
  if (is_structural(c)) return (for_column && !varying) ? kOk : kInvalidFieldType;
  if (!size_allowed(c, size(word))) return kInvalidFieldType;
  if (varying && size(word) != 1 && size(word) != 2 && size(word) != 4) return kInvalidFieldType;
  return kOk;
}

std::int32_t read_option(ByteReader& in, PacketBudget& budget, PacketOption& option) {
  std::uint8_t name_length = 0;
  PacketBytes name;
  if (!in.u8(name_length) || !in.take(name_length, name) || !in.u32(option.type_word)) {
    return kMismatch;
  }
  if (const auto status = check_type_word(option.type_word, false); status != kOk) return status;
  std::size_t length = 0;
  PacketBytes value;
  if (!packet_value_length(in.rest(), 0, option.type_word, length) || !in.take(length, value)) {
    return kMismatch;
  }
  if (!budget.take(name.size() + value.size())) return kInsufficientMemory;
  option.name.assign(name.begin(), name.end());
  option.value.assign(value.begin(), value.end());
  return kOk;
}

bool equals_ci(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto up = [](char ch) {
             return (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 'a' + 'A') : ch;
           };
           return up(x) == up(y);
         });
}

constexpr std::array<std::string_view, 19> kSubtypes{
    "Text",   "Binary",  "Formatted", "Ole",       "Graphics",       "dBASEOle", "TypedBinary",
    "Money",  "Autoinc", "AccessOle", "HMemo",     "HBinary",        "ADTNestedTable",
    "FixedChar", "Reference", "BFile", "ADTDate", "Guid",          "WideText"};

std::int32_t apply_column_option(PacketColumn& column, const PacketOption& option, PacketBudget& budget) {
  const std::string_view name = option.name;
  if (equals_ci(name, "SUBTYPE")) {
    if (packet_type::code(option.type_word) != packet_type::kString ||
        packet_type::is_array(option.type_word)) {
      return kInvalidParameter;
    }
    const std::string text = option_text(option);
    for (const auto known : kSubtypes) {
      if (equals_ci(text, known)) {
        column.subtype = text;
        if (equals_ci(known, "Autoinc")) column.attributes |= column_attribute::kReadOnly;
      }
    }
    return kOk;
  }
  if (equals_ci(name, "FIELDNAME")) {
    const auto c = packet_type::code(option.type_word);
    if ((c == packet_type::kString || c == packet_type::kWideString) &&
        !packet_type::is_array(option.type_word)) {
      std::string text = option_text(option);
      if (!budget.take(text.size())) return kInsufficientMemory;
      column.full_name = std::move(text);
    }
    return kOk;
  }
  const auto number = option_integer(option);
  if (!number) return kOk;
  if (equals_ci(name, "WIDTH")) column.width = number;
  if (equals_ci(name, "ELEMENTS")) column.elements = number;
  if (equals_ci(name, "DECIMALS")) column.decimals = number;
  if (equals_ci(name, "CALCULATED")) column.calculated = *number != 0;
  return kOk;
}

// Pays for each object it builds: a descriptor of ten bytes becomes a column
// of a few hundred, an option of five an object of dozens, and array columns
// multiply row positions. Each list is reserved at the length the packet
// gives and paid for up front, so that none grows past what it was paid for;
// a length the bytes left cannot hold is a mismatch before anything is
// reserved.
class MetadataReader {
 public:
  MetadataReader(ByteReader& in, PacketBudget& budget) : in_(in), budget_(budget) {}

  std::int32_t read_table(PacketTable& table, std::uint32_t column_total, int level) {
    if (level > kMaxTableLevels) return kNotApplicable;
    // The total counts the columns of nested tables too, so this reserves
    // more than the table's own columns when it holds nested tables.
    if (column_total > in_.remaining() / kMinDescriptorBytes) return kMismatch;
    if (!budget_.take(std::size_t{column_total} * sizeof(PacketColumn))) return kInsufficientMemory;
    table.columns.reserve(column_total);
    std::uint32_t remaining = column_total;
    while (remaining > 0) {
      std::uint32_t index = 0;
      if (const auto status = read_column(table, remaining, level, index); status != kOk) {
        return status;
      }
    }
    std::uint16_t option_count = 0;
    if (!in_.u16(option_count)) return kMismatch;
    if (const auto status = reserve_options(table.options, option_count); status != kOk) return status;
    for (std::uint32_t i = 0; i < option_count; ++i) {
      PacketOption option;
      if (const auto status = read_option(in_, budget_, option); status != kOk) return status;
      table.options.push_back(std::move(option));
    }
    return build_positions(table);
  }

 private:
  std::int32_t reserve_options(std::vector<PacketOption>& options, std::uint16_t count) {
    if (count > in_.remaining() / kMinOptionBytes) return kMismatch;
    if (!budget_.take(std::size_t{count} * sizeof(PacketOption))) return kInsufficientMemory;
    options.reserve(count);
    return kOk;
  }

  std::int32_t read_column(PacketTable& table, std::uint32_t& remaining, int level,
                           std::uint32_t& index) {
    if (remaining == 0) return kMismatch;  // members promised beyond the table's columns
    PacketColumn column;
    std::uint8_t name_length = 0;
    PacketBytes name;
    if (!in_.u8(name_length)) return kMismatch;
    if (name_length == 0) return kFieldNameNull;
    if (!in_.take(name_length, name) || !in_.u32(column.type_word)) return kMismatch;
    const auto kept = std::min<std::size_t>(name.size(), kMaxStoredNameBytes);
    if (!budget_.take(kept)) return kInsufficientMemory;
    column.name.assign(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(kept));
    if (const auto status = check_type_word(column.type_word, true); status != kOk) return status;
    std::uint16_t option_count = 0;
    if (!in_.u16(column.attributes) || !in_.u16(option_count)) return kMismatch;
    if (const auto status = reserve_options(column.options, option_count); status != kOk) return status;
    for (std::uint32_t i = 0; i < option_count; ++i) {
      PacketOption option;
      if (auto status = read_option(in_, budget_, option); status != kOk) return status;
      if (auto status = apply_column_option(column, option, budget_); status != kOk) return status;
      column.options.push_back(std::move(option));
    }
    --remaining;
    index = static_cast<std::uint32_t>(table.columns.size());
    const std::uint32_t code = column.code();
    const std::uint32_t count = column.size();
    table.columns.push_back(std::move(column));

    if (code == packet_type::kNested) {
      if (count > remaining) return kMismatch;
      remaining -= count;
      if (!budget_.take(sizeof(PacketTable))) return kInsufficientMemory;
      auto nested = std::make_unique<PacketTable>();
      if (const auto status = read_table(*nested, count, level + 1); status != kOk) return status;
      table.columns[index].nested = std::move(nested);
    } else if (code == packet_type::kStruct || code == packet_type::kArrayColumn) {
      // Counted over the whole packet, nested tables included, so that the
      // reader's own depth stays small.
      if (member_depth_ + 1 > kMaxMemberDepth) return kNotApplicable;
      ++member_depth_;
      const std::uint32_t members = code == packet_type::kStruct ? count : 1;
      // More members than columns are left fail as they are read.
      const std::uint32_t listed = std::min(members, remaining);
      if (!budget_.take(listed * sizeof(std::uint32_t))) return kInsufficientMemory;
      table.columns[index].members.reserve(listed);
      for (std::uint32_t i = 0; i < members; ++i) {
        std::uint32_t member = 0;
        if (const auto status = read_column(table, remaining, level, member); status != kOk) {
          return status;
        }
        table.columns[member].is_member = true;
        table.columns[index].members.push_back(member);
      }
      --member_depth_;
    }
    return kOk;
  }

  // The positions a column lays out; false past kMaxPositions.
  bool count_positions(const PacketTable& table, std::uint32_t index, std::size_t& count) const {
    if (++count > kMaxPositions) return false;
    const PacketColumn& column = table.columns[index];
    const std::uint32_t code = column.code();
    if (code != packet_type::kStruct && code != packet_type::kArrayColumn) return true;
    const std::uint32_t repeats = code == packet_type::kStruct ? 1 : column.size();
    for (std::uint32_t r = 0; r < repeats; ++r) {
      for (const auto member : column.members) {
        if (!count_positions(table, member, count)) return false;
      }
    }
    return true;
  }

  std::int32_t add_positions(PacketTable& table, std::uint32_t index) {
    if (++positions_total_ > kMaxPositions) return kMismatch;
    const PacketColumn& column = table.columns[index];
    RowPosition position;
    position.column = index;
    const std::uint32_t code = column.code();
    if (code == packet_type::kNested) {
      position.kind = ValueKind::Nested;
      position.nested = column.nested.get();
      table.positions.push_back(position);
      return kOk;
    }
    if (code == packet_type::kStruct || code == packet_type::kArrayColumn) {
      table.positions.push_back(position);  // its own, empty position
      const std::uint32_t repeats = code == packet_type::kStruct ? 1 : column.size();
      const std::vector<std::uint32_t> members = column.members;
      for (std::uint32_t r = 0; r < repeats; ++r) {
        for (const auto member : members) {
          if (const auto status = add_positions(table, member); status != kOk) return status;
        }
      }
      return kOk;
    }
    position.kind = packet_type::is_varying(column.type_word) ? ValueKind::Varying : ValueKind::Fixed;
    position.size = position.kind == ValueKind::Varying ? column.size()
                                                         : fixed_value_bytes(column.type_word);
    table.positions.push_back(position);
    return kOk;
  }

  std::int32_t build_positions(PacketTable& table) {
    std::size_t count = positions_total_;
    for (std::uint32_t i = 0; i < table.columns.size(); ++i) {
      if (!table.columns[i].is_member && !count_positions(table, i, count)) return kMismatch;
    }
    count -= positions_total_;
    if (!budget_.take(count * sizeof(RowPosition))) return kInsufficientMemory;
    table.positions.reserve(count);
    for (std::uint32_t i = 0; i < table.columns.size(); ++i) {
      if (table.columns[i].is_member) continue;
      if (const auto status = add_positions(table, i); status != kOk) return status;
    }
    table.status_bytes = static_cast<std::uint32_t>((table.positions.size() + 3) / 4);
    return kOk;
  }

  ByteReader& in_;
  PacketBudget& budget_;
  std::size_t positions_total_ = 0;
  int member_depth_ = 0;
};

// Walks rows without keeping anything but marks of the top-level rows; every
// length, count and prefix is weighed against the bytes that are left.
class RowChecker {
 public:
  explicit RowChecker(PacketBytes bytes) : data_(bytes.data()), size_(bytes.size()) {}

  bool row(const PacketTable& table, std::size_t& pos) const {
    const std::size_t fixed = table.min_row_size();
    if (size_ - pos < fixed) return false;
    const std::uint8_t* status = data_ + pos + 1;
    pos += fixed;
    const std::size_t count = table.positions.size();
    const RowPosition* positions = table.positions.data();
    for (std::size_t j = 0; j < count; ++j) {
      if (((static_cast<unsigned>(status[j >> 2]) >> ((j & 3u) << 1)) & 3u) != 0) continue;  // blank or unchanged
      const RowPosition& p = positions[j];
      switch (p.kind) {
        case ValueKind::None:
          break;
        case ValueKind::Fixed:
          if (size_ - pos < p.size) return false;
          pos += p.size;
          break;
        case ValueKind::Varying: {
          if (size_ - pos < p.size) return false;
          const std::size_t length = load_length_prefix(data_ + pos, p.size);
          pos += p.size;
          if (size_ - pos < length) return false;
          pos += length;
          break;
        }
        case ValueKind::Nested: {
          if (size_ - pos < 4) return false;
          const std::int32_t n = static_cast<std::int32_t>(load_le32(data_ + pos));
          pos += 4;
          if (n > 0 && !rows(*p.nested, pos, static_cast<std::uint64_t>(n))) return false;
          break;
        }
      }
    }
    return true;
  }

  // Every row takes bytes, so a count that runs past the end fails there.
  bool rows(const PacketTable& table, std::size_t& pos, std::uint64_t count) const {
    for (std::uint64_t i = 0; i < count; ++i) {
      if (!row(table, pos)) return false;
    }
    return true;
  }

  // The top-level rows, marking every kRowIndexStride-th one.
  std::int32_t rows(const PacketTable& table, std::size_t& pos, std::uint64_t count,
                    PacketBudget& budget, std::vector<std::uint32_t>& marks) const {
    // A count the remaining bytes cannot hold is rejected before anything is
    // reserved for it.
    if (count > (size_ - pos) / table.min_row_size()) return kMismatch;
    const std::size_t new_marks = static_cast<std::size_t>((count + kRowIndexStride - 1) / kRowIndexStride);
    if (!budget.take(new_marks * sizeof(std::uint32_t))) return kInsufficientMemory;
    marks.reserve(marks.size() + new_marks);
    for (std::uint64_t i = 0; i < count; ++i) {
      if (i % kRowIndexStride == 0) marks.push_back(static_cast<std::uint32_t>(pos));
      if (!row(table, pos)) return kMismatch;
    }
    return kOk;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

}  // namespace

bool is_binary_packet(PacketBytes bytes) {
  if (bytes.size() < 4) return false;
  const std::uint32_t signature = load_le32(bytes.data());
  if (signature == kPacketSignatureOld) return true;
  if (signature != kPacketSignature) return false;
  if (bytes.size() < 8) return true;  // too short either way; the header check says so
  return load_le16(bytes.data() + 4) <= 3 && load_le16(bytes.data() + 6) <= 3;
}

std::int32_t read_packet_header(PacketBytes bytes, PacketHeader& header) {
  if (bytes.size() < kPacketHeaderSize) return kMismatch;
  const std::uint8_t* p = bytes.data();
  header.signature = load_le32(p);
  header.version1 = load_le16(p + 4);
  header.version2 = load_le16(p + 6);
  header.header_size = load_le32(p + 8);
  header.column_count = load_le16(p + 12);
  header.row_count = load_le32(p + 14);
  header.flags = load_le32(p + 18);
  header.row_offset = load_le16(p + 22);
  return kOk;
}

std::int32_t read_packet_metadata(PacketBytes bytes, const PacketHeader& header,
                                  PacketTable& table, PacketBudget& budget, std::size_t& end) {
  if (header.column_count == 0 || header.header_size > bytes.size()) return kMismatch;
  ByteReader in(bytes, header.header_size);
  MetadataReader reader(in, budget);
  if (const auto status = reader.read_table(table, header.column_count, 1); status != kOk) {
    return status;
  }
  end = in.pos();
  return kOk;
}

std::int32_t read_packet_rows(PacketBytes bytes, std::size_t offset, std::uint64_t row_count,
                              const PacketTable& table, PacketBudget& budget,
                              std::vector<std::uint32_t>& row_marks, std::size_t& end) {
  // Row offsets are kept in 32 bits.
  if (bytes.size() > 0xFFFFFFFFu || offset > bytes.size()) return kMismatch;
  const std::size_t kept = row_marks.size();
  std::size_t pos = offset;
  if (const auto status = RowChecker(bytes).rows(table, pos, row_count, budget, row_marks);
      status != kOk) {
    row_marks.resize(kept);
    return status;
  }
  end = pos;
  return kOk;
}

std::optional<std::size_t> binary_packet_extent(PacketBytes bytes) {
  PacketHeader header;
  if (!is_binary_packet(bytes) || read_packet_header(bytes, header) != kOk || !header.has_metadata()) {
    return std::nullopt;
  }
  PacketTable table;
  PacketBudget budget(bytes.size());
  std::size_t rows_at = 0;
  if (read_packet_metadata(bytes, header, table, budget, rows_at) != kOk) return std::nullopt;
  std::size_t pos = rows_at;
  if (!RowChecker(bytes).rows(table, pos, header.row_count)) return std::nullopt;
  return pos;
}

bool packet_value_length(PacketBytes bytes, std::size_t offset, std::uint32_t type_word,
                         std::size_t& length) {
  if (offset > bytes.size()) return false;
  const std::size_t left = bytes.size() - offset;
  const std::uint8_t* p = bytes.data() + offset;
  if (packet_type::is_varying(type_word)) {
    const std::uint32_t prefix = packet_type::size(type_word);
    if (left < prefix) return false;
    const std::size_t n = load_length_prefix(p, prefix);
    if (left - prefix < n) return false;
    length = prefix + n;
    return true;
  }
  if (is_structural(packet_type::code(type_word))) {
    length = 0;
    return true;
  }
  const std::size_t element = fixed_value_bytes(type_word);
  if (packet_type::is_array(type_word)) {
    if (left < 4) return false;
    const std::uint32_t count = load_le32(p);
    if (element != 0 && count > (left - 4) / element) return false;
    length = 4 + std::size_t{count} * element;
    return true;
  }
  if (left < element) return false;
  length = element;
  return true;
}

}  // namespace wardenix
