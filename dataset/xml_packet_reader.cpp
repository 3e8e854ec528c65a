#include "dataset/xml_packet_reader.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <limits>
#include <string>
#include <string_view>

#include "dataset/packet_reader.h"
#include "dataset/packet_values.h"
#include "dataset/store_messages.h"
#include "dataset/xml_document.h"
#include "dataset/xml_reader.h"
#include "runtime/ustring.h"

namespace wardenix {

namespace {

using namespace store_status;

struct XmlType {
  std::string_view name;
  std::uint32_t code;
  std::uint32_t size;
  std::uint32_t flags;
};

// Text columns are written with a 2-byte length prefix, byte columns with a
// 4-byte one; the names "nested" and "struct" carry their extra type bits.
constexpr XmlType kXmlTypes[] = {
    {"i1", 1, 1, 0},         {"i2", 1, 2, 0},
    {"i4", 1, 4, 0},         {"i8", 1, 8, 0},
    {"int", 1, 4, 0},        {"ui1", 2, 1, 0},
    {"ui2", 2, 2, 0},        {"ui4", 2, 4, 0},
    {"ui8", 2, 8, 0},        {"uint", 2, 4, 0},
    {"boolean", 3, 2, 0},    {"r8", 4, 8, 0},
    {"r10", 4, 10, 0},       {"fixed", 5, 0, 0},
    {"date", 6, 4, 0},       {"time", 7, 4, 0},
    {"dateTime", 8, 8, 0},   {"string", 9, 2, packet_type::kVarying},
    {"string.uni", 10, 2, packet_type::kVarying},
    {"bin.hex", 11, 4, packet_type::kVarying},
    {"struct", 12, 0, 0x1000000u},
    {"nested", 14, 0, 0x5000000u},
    {"SQLdateTime", 17, 16, 0},
    {"fixedFMT", 18, 0, 0},  {"r4", 27, 4, 0},
    {"SQLdateTimeOffset", 36, 20, 0},
};

constexpr std::size_t kMaxStoredName = 31;

// Where the binary form goes. The rows are converted twice: once only
// counted, so that the second pass writes them into a buffer of exactly their
// size and the packet is never copied while it grows.
class Out {
 public:
  Out() = default;  // counts only
  explicit Out(std::vector<std::uint8_t>& bytes) : b_(&bytes), size_(bytes.size()) {}

  void u8(std::uint32_t v) {
    if (b_) b_->push_back(static_cast<std::uint8_t>(v));
    ++size_;
  }
  void u16(std::uint32_t v) {
    u8(v);
    u8(v >> 8);
  }
  void u32(std::uint32_t v) {
    u16(v);
    u16(v >> 16);
  }
  void u64(std::uint64_t v) {
    u32(static_cast<std::uint32_t>(v));
    u32(static_cast<std::uint32_t>(v >> 32));
  }
  void bytes(std::span<const std::uint8_t> s) {
    if (b_) b_->insert(b_->end(), s.begin(), s.end());
    size_ += s.size();
  }
  void bytes(std::string_view s) {
    bytes(std::span(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()));
  }
  // Appends `n` zero bytes and returns where they begin.
  std::size_t zeros(std::size_t n) {
    const std::size_t at = size_;
    if (b_) b_->resize(b_->size() + n, 0);
    size_ += n;
    return at;
  }
  void set_bits(std::size_t at, std::uint32_t bits) {
    if (b_) (*b_)[at] = static_cast<std::uint8_t>((*b_)[at] | bits);
  }
  void patch16(std::size_t at, std::uint32_t v) {
    if (!b_) return;
    (*b_)[at] = static_cast<std::uint8_t>(v);
    (*b_)[at + 1] = static_cast<std::uint8_t>(v >> 8);
  }
  void patch32(std::size_t at, std::uint32_t v) {
    patch16(at, v);
    patch16(at + 2, v >> 16);
  }
  std::size_t size() const { return size_; }

 private:
  std::vector<std::uint8_t>* b_ = nullptr;
  std::size_t size_ = 0;
};

bool is_true(const std::string* text) { return text && xml_equals_ci(*text, "true"); }

template <typename T>
bool parse_number(std::string_view text, T& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc{} && ptr == end;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Text converted in pieces that end before a byte that starts a character,
// so that no sequence is split and a value of any length costs a piece.
constexpr std::size_t kPieceBytes = 4096;

template <typename Each>
void for_each_utf16_piece(std::string_view utf8, Each each) {
  while (!utf8.empty()) {
    std::size_t n = std::min(utf8.size(), kPieceBytes);
    while (n < utf8.size() && n > 1 && (static_cast<std::uint8_t>(utf8[n]) & 0xC0) == 0x80) --n;
    each(from_utf8(utf8.substr(0, n)));
    utf8.remove_prefix(n);
  }
}

// The bytes a value's text stands for: 8-bit text as it is, UTF-16 text from
// its UTF-8, or hex digits; sized and written without being built whole.
class Payload {
 public:
  enum class Kind { Text, Wide, Hex };

  Payload(Kind kind, std::string_view text) : kind_(kind), text_(text) {}

  bool valid() const {
    return kind_ != Kind::Hex ||
           (text_.size() % 2 == 0 && std::all_of(text_.begin(), text_.end(), [](char c) { return hex_digit(c) >= 0; }));
  }
  std::size_t size() const {
    switch (kind_) {
      case Kind::Text:
        return text_.size();
      case Kind::Hex:
        return text_.size() / 2;
      case Kind::Wide: {
        std::size_t units = 0;
        for_each_utf16_piece(text_, [&](const UString& piece) { units += piece.size(); });
        return 2 * units;
      }
    }
    return 0;
  }
  void write(Out& out) const {
    switch (kind_) {
      case Kind::Text:
        out.bytes(text_);
        break;
      case Kind::Hex:
        for (std::size_t i = 0; i < text_.size(); i += 2) {
          out.u8(static_cast<std::uint32_t>(hex_digit(text_[i]) * 16 + hex_digit(text_[i + 1])));
        }
        break;
      case Kind::Wide:
        for_each_utf16_piece(text_, [&](const UString& piece) {
          for (const char16_t c : piece) out.u16(c);
        });
        break;
    }
  }

 private:
  Kind kind_;
  std::string_view text_;
};

// The 10-byte extended format: 64-bit mantissa with its integer bit, then
// sign and 15-bit exponent.
void put_extended(Out& out, double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const std::uint32_t sign = static_cast<std::uint32_t>(bits >> 63);
  const auto exponent = static_cast<std::int32_t>((bits >> 52) & 0x7FF);
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  std::uint64_t mantissa = 0;
  std::int32_t e = 0;
  if (exponent == 0x7FF) {
    e = 0x7FFF;
    mantissa = (std::uint64_t{1} << 63) | (fraction << 11);
  } else if (exponent != 0) {
    e = exponent - 1023 + 16383;
    mantissa = (std::uint64_t{1} << 63) | (fraction << 11);
  } else if (fraction != 0) {
    const int high = 63 - std::countl_zero(fraction);
    e = high - 1074 + 16383;
    mantissa = fraction << (63 - high);
  }
  out.u64(mantissa);
  out.u16((sign << 15) | static_cast<std::uint32_t>(e));
}

bool put_integer(Out& out, std::string_view text, std::uint32_t size, bool is_signed) {
  if (is_signed) {
    std::int64_t v = 0;
    if (!parse_number(text, v)) return false;
    const int bits = static_cast<int>(size * 8);
    if (bits < 64 && (v < -(std::int64_t{1} << (bits - 1)) || v >= (std::int64_t{1} << (bits - 1)))) {
      return false;
    }
    const auto u = static_cast<std::uint64_t>(v);
    for (std::uint32_t k = 0; k < size; ++k) out.u8(static_cast<std::uint32_t>((u >> (8 * k)) & 0xFF));
    return true;
  }
  std::uint64_t v = 0;
  if (!parse_number(text, v)) return false;
  if (size < 8 && v >= (std::uint64_t{1} << (size * 8))) return false;
  for (std::uint32_t k = 0; k < size; ++k) out.u8(static_cast<std::uint32_t>((v >> (8 * k)) & 0xFF));
  return true;
}

bool put_prefixed(Out& out, std::uint32_t prefix, const Payload& payload) {
  const std::size_t n = payload.size();
  if ((prefix == 1 && n > 0xFF) || (prefix == 2 && n > 0xFFFF) ||
      n > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    return false;
  }
  const auto length = static_cast<std::uint32_t>(n);
  if (prefix == 1) out.u8(length);
  if (prefix == 2) out.u16(length);
  if (prefix == 4) out.u32(length);
  payload.write(out);
  return true;
}

// One value of a column, from the text of its attribute.
bool put_value(Out& out, std::uint32_t type_word, std::string_view text) {
  using namespace packet_type;
  const std::uint32_t c = code(type_word);
  const std::uint32_t sz = size(type_word);
  const Payload payload(c == kString       ? Payload::Kind::Text
                        : c == kWideString ? Payload::Kind::Wide
                                           : Payload::Kind::Hex,
                        text);
  const bool numeric = !is_varying(type_word) && (c == kInteger || c == kUnsigned || c == kBoolean || c == kFloat ||
                                                  c == kDate || c == kTime || c == kDateTime || c == kSingle);
  if (!numeric && !payload.valid()) return false;
  if (is_varying(type_word)) return put_prefixed(out, sz, payload);

  switch (c) {
    case kInteger:
    case kDate:
    case kTime:
      return put_integer(out, text, sz, true);
    case kUnsigned:
      return put_integer(out, text, sz, false);
    case kBoolean: {
      if (xml_equals_ci(text, "true")) return put_integer(out, "-1", sz, true);
      if (xml_equals_ci(text, "false")) return put_integer(out, "0", sz, true);
      return put_integer(out, text, sz, true);
    }
    case kFloat:
    case kDateTime:
    case kSingle: {
      double v = 0;
      if (!parse_number(text, v)) return false;
      if (sz == 10) {
        put_extended(out, v);
      } else {
        out.u64(std::bit_cast<std::uint64_t>(v));
      }
      return true;
    }
    default: {
      // Fixed widths: text and bytes are padded with zeros; the other kinds
      // must give exactly their bytes.
      const std::uint32_t width = fixed_value_bytes(type_word);
      const bool padded = c == kString || c == kWideString || c == kBytes || c == kBytesAlias;
      const std::size_t size = payload.size();
      if (size > width || (!padded && size != width)) return false;
      payload.write(out);
      out.zeros(width - size);
      return true;
    }
  }
}

// Option values: Booleans and 32-bit integers where the text reads as one,
// 8-bit strings otherwise and always for "SUBTYPE" and "FIELDNAME".
void put_option(Out& out, std::string_view name, const std::string& text) {
  out.u8(static_cast<std::uint32_t>(std::min<std::size_t>(name.size(), 255)));
  out.bytes(name.substr(0, 255));
  const bool text_only = xml_equals_ci(name, "SUBTYPE") || xml_equals_ci(name, "FIELDNAME");
  std::int32_t number = 0;
  if (!text_only && (is_true(&text) || xml_equals_ci(text, "false"))) {
    out.u32(packet_type::word(packet_type::kBoolean, 2));
    out.u16(is_true(&text) ? 0xFFFFu : 0u);
  } else if (!text_only && parse_number(text, number)) {
    out.u32(packet_type::word(packet_type::kInteger, 4));
    out.u32(static_cast<std::uint32_t>(number));
  } else {
    out.u32(packet_type::word(packet_type::kString, 4, packet_type::kVarying));
    out.u32(static_cast<std::uint32_t>(std::min<std::size_t>(text.size(), 0x7FFFFFFF)));
    out.bytes(text);
  }
}

class MetadataWriter {
 public:
  explicit MetadataWriter(Out& out) : out_(out) {}

  // Writes the FIELD elements of `fields`; `count` receives the number of
  // descriptors written, those of nested tables included.
  std::int32_t fields(const XmlElement& fields_element, std::uint32_t& count, std::uint32_t& direct) {
    for (const auto& field_element : fields_element.children) {
      if (field_element.name != "FIELD") continue;
      std::uint32_t written = 0;
      if (const auto status = field(field_element, written); status != kOk) return status;
      count += written;
      ++direct;
    }
    return kOk;
  }

  void options(const XmlElement* params) {
    const std::size_t count_at = out_.zeros(2);
    std::uint32_t count = 0;
    if (params) {
      for (const auto& [name, value] : params->attributes) {
        put_option(out_, name, value);
        ++count;
      }
    }
    out_.patch16(count_at, count);
  }

 private:
  std::int32_t field(const XmlElement& e, std::uint32_t& written) {
    const std::string* name = e.attribute_ci("attrname");
    if (!name) name = e.attribute_ci("tagname");
    if (!name) return kMismatch;
    const std::string* type_name = e.attribute_ci("fieldtype");
    const XmlType* type = nullptr;
    for (const auto& t : kXmlTypes) {
      if (type_name && t.name == *type_name) type = &t;
    }
    if (!type) return kInvalidFieldType;

    std::uint32_t size = type->size;
    std::int64_t width = 0;
    const std::string* width_text = e.attribute_ci("WIDTH");
    const bool has_width = width_text && parse_number(*width_text, width) && width >= 0;
    if ((type->code == packet_type::kBcd || type->code == packet_type::kFormattedBcd) && has_width) {
      size = static_cast<std::uint32_t>(std::min<std::int64_t>(width, 0xFFFF));
    }
    std::uint16_t attributes = 0;
    if (is_true(e.attribute_ci("hidden"))) attributes |= column_attribute::kHidden;
    if (is_true(e.attribute_ci("readonly"))) attributes |= column_attribute::kReadOnly;
    if (is_true(e.attribute_ci("required"))) attributes |= column_attribute::kRequired;
    if (is_true(e.attribute_ci("linkfield"))) attributes |= column_attribute::kLink;

    out_.u8(static_cast<std::uint32_t>(std::min<std::size_t>(name->size(), 255)));
    out_.bytes(std::string_view(*name).substr(0, 255));
    const std::size_t type_at = out_.zeros(4);
    out_.u16(attributes);

    // Attributes that are options in the binary form, then PARAMS.
    const std::size_t option_count_at = out_.zeros(2);
    std::uint32_t option_count = 0;
    const XmlElement* params = e.child("PARAMS");
    if (name->size() > kMaxStoredName && !(params && params->attribute_ci("FIELDNAME"))) {
      put_option(out_, "FIELDNAME", *name);
      ++option_count;
    }
    if (const auto* subtype = e.attribute_ci("subtype")) {
      put_option(out_, "SUBTYPE", *subtype);
      ++option_count;
    }
    if (has_width && type->code != packet_type::kBcd && type->code != packet_type::kFormattedBcd) {
      put_option(out_, "WIDTH", *width_text);
      ++option_count;
    }
    if (const auto* decimals = e.attribute_ci("decimals")) {
      put_option(out_, "DECIMALS", *decimals);
      ++option_count;
    }
    if (params) {
      for (const auto& [key, value] : params->attributes) {
        put_option(out_, key, value);
        ++option_count;
      }
    }
    if (option_count > 0xFFFF) return kMismatch;
    out_.patch16(option_count_at, option_count);

    written = 1;
    if (type->code == packet_type::kStruct || type->code == packet_type::kNested) {
      const XmlElement* inner = e.child("FIELDS");
      std::uint32_t below = 0;
      std::uint32_t direct = 0;
      if (inner) {
        if (const auto status = fields(*inner, below, direct); status != kOk) return status;
      }
      if (type->code == packet_type::kNested) {
        options(nullptr);  // the nested table's own options
        size = below;
      } else {
        size = direct;
      }
      if (size > 0xFFFF) return kMismatch;
      written += below;
    }
    out_.patch32(type_at, packet_type::word(type->code, size, type->flags));
    return kOk;
  }

  Out& out_;
};

// A row's attributes, kept while the elements inside it are read.
using SavedAttributes = std::vector<std::pair<std::string, std::string>>;

template <typename Attributes>
std::optional<std::string_view> find_attribute(const Attributes& attributes, std::string_view name) {
  for (const auto& [key, value] : attributes) {
    if (key == name) return std::string_view(value);
  }
  return std::nullopt;
}

const std::string& column_name(const PacketColumn& column) {
  return column.full_name ? *column.full_name : column.name;
}

// Converts ROW elements one at a time as the reader reaches them. A nested
// table's rows are the ROW children of an element named after its column,
// taken in column order: such an element after that of a later nested column
// is passed over, as is any other element inside a row.
class RowWriter {
 public:
  // Counting stops with "insufficient memory" once the rows pass `limit` bytes.
  RowWriter(XmlReader& reader, Out& out, std::size_t limit)
      : reader_(reader), out_(out), limit_(limit), saved_(kMaxTableLevels + 1) {}

  // The reader has just started the element holding the rows; reads through
  // its end.
  std::int32_t rows(const PacketTable& table, std::size_t level, std::uint32_t& count) {
    for (;;) {
      switch (reader_.next()) {
        case XmlReader::Token::Start:
          if (reader_.name() != "ROW") {
            if (!reader_.skip_element()) return kMismatch;
            break;
          }
          if (const auto status = row(table, level); status != kOk) return status;
          if (out_.size() > limit_) return kInsufficientMemory;
          ++count;
          break;
        case XmlReader::Token::End:
          return kOk;
        case XmlReader::Token::Done:
        case XmlReader::Token::Error:
          return kMismatch;
      }
    }
  }

 private:
  std::int32_t row(const PacketTable& table, std::size_t level) {
    std::uint32_t state = 0;
    if (const auto text = reader_.attribute("RowState")) {
      if (!parse_number(*text, state) || state > 0xFF) return kMismatch;
    }
    out_.u8(state);
    const std::size_t status_at = out_.zeros(table.status_bytes);
    const std::size_t positions = table.positions.size();
    const bool has_nested = std::any_of(table.positions.begin(), table.positions.end(),
                                        [](const RowPosition& p) { return p.kind == ValueKind::Nested; });
    if (!has_nested) {
      if (const auto status = values(table, reader_.attributes(), status_at, 0, positions); status != kOk) {
        return status;
      }
      return reader_.skip_element() ? kOk : kMismatch;
    }
    // The row's own attributes outlive the elements inside it.
    auto& attributes = saved_[level];
    attributes.resize(reader_.attributes().size());
    for (std::size_t i = 0; i < attributes.size(); ++i) {
      attributes[i].first.assign(reader_.attributes()[i].name);
      attributes[i].second.assign(reader_.attributes()[i].value);
    }
    std::size_t next = 0;
    for (;;) {
      const auto token = reader_.next();
      if (token == XmlReader::Token::End) break;
      if (token != XmlReader::Token::Start) return kMismatch;
      std::size_t q = next;
      while (q < positions && !(table.positions[q].kind == ValueKind::Nested &&
                                column_name(table.columns[table.positions[q].column]) == reader_.name())) {
        ++q;
      }
      if (q == positions) {
        if (!reader_.skip_element()) return kMismatch;
        continue;
      }
      if (const auto status = values(table, attributes, status_at, next, q); status != kOk) return status;
      const std::size_t count_at = out_.zeros(4);
      std::uint32_t count = 0;
      if (const auto status = rows(*table.positions[q].nested, level + 1, count); status != kOk) return status;
      out_.patch32(count_at, count);
      next = q + 1;
    }
    return values(table, attributes, status_at, next, positions);
  }

  // Positions [from, to) of a row from its attributes; a nested table here
  // had no element and is blank.
  template <typename Attributes>
  std::int32_t values(const PacketTable& table, const Attributes& attributes, std::size_t status_at,
                      std::size_t from, std::size_t to) {
    for (std::size_t j = from; j < to; ++j) {
      const RowPosition& p = table.positions[j];
      if (p.kind == ValueKind::None) continue;
      const auto text = p.kind == ValueKind::Nested
                            ? std::nullopt
                            : find_attribute(attributes, column_name(table.columns[p.column]));
      if (!text) {
        out_.set_bits(status_at + j / 4, 1u << ((j % 4) * 2));
        continue;
      }
      if (!put_value(out_, table.columns[p.column].type_word, *text)) return kMismatch;
    }
    return kOk;
  }

  XmlReader& reader_;
  Out& out_;
  std::size_t limit_;
  std::vector<SavedAttributes> saved_;  // per table level
};

class Converter {
 public:
  Converter(std::span<const std::uint8_t> xml, const PacketTable* known, PacketBudget budget)
      : xml_(xml), table_(known), budget_(budget) {}

  std::int32_t run(std::vector<std::uint8_t>& binary) {
    Out head(head_);
    head.u32(kPacketSignature);
    head.u16(1);
    head.u16(0);
    head.u32(static_cast<std::uint32_t>(kPacketHeaderSize));
    head.zeros(kPacketHeaderSize - 12);  // counts, flags and the row offset come later

    Out counter;
    std::uint32_t rows = 0;
    if (const auto status = pass(counter, true, rows); status != kOk) return status;
    const std::size_t total = head_.size() + counter.size();
    if (!budget_.take(total)) return kInsufficientMemory;
    binary.clear();
    binary.reserve(total);
    binary.assign(head_.begin(), head_.end());
    Out writer(binary);
    rows = 0;
    if (const auto status = pass(writer, false, rows); status != kOk) return status;
    writer.patch32(14, rows);
    writer.patch32(18, flags_);
    return kOk;
  }

 private:
  // One walk over the document; the first one also reads the metadata.
  std::int32_t pass(Out& out, bool first, std::uint32_t& rows) {
    XmlReader reader(xml_);
    if (reader.next() != XmlReader::Token::Start) return kMismatch;
    std::int32_t status = kOk;
    if (reader.name() == "DATAPACKET") {
      if (reader.next() != XmlReader::Token::Start) return kMismatch;
      const bool metadata = reader.name() == "METADATA";
      if (metadata) {
        status = metadata_element(reader, first);
      } else if (reader.name() == "ROWDATA") {
        status = rowdata(reader, out, first, rows);
      } else {
        return kMismatch;
      }
      // After the metadata, the first ROWDATA holds the rows; anything else
      // is passed over.
      bool rows_read = !metadata;
      while (status == kOk) {
        const auto token = reader.next();
        if (token == XmlReader::Token::End) break;
        if (token != XmlReader::Token::Start) return kMismatch;
        if (reader.name() == "ROWDATA" && !rows_read) {
          status = rowdata(reader, out, first, rows);
          rows_read = true;
        } else if (!reader.skip_element()) {
          return kMismatch;
        }
      }
    } else if (reader.name() == "METADATA") {
      status = metadata_element(reader, first);
    } else if (reader.name() == "ROWDATA") {
      status = rowdata(reader, out, first, rows);
    } else {
      return kMismatch;
    }
    if (status != kOk) return status;
    if (reader.next() != XmlReader::Token::Done) return kMismatch;
    return rejected_metadata_;
  }

  // Counting gives up as soon as the rows would not fit the budget; writing
  // has been paid for.
  std::int32_t rowdata(XmlReader& reader, Out& out, bool counting, std::uint32_t& rows) {
    if (!table_) return reader.skip_element() ? kOk : kMismatch;  // rows without metadata
    const std::size_t room = budget_.left() > head_.size() ? budget_.left() - head_.size() : 0;
    const std::size_t limit = counting ? room : std::numeric_limits<std::size_t>::max();
    return RowWriter(reader, out, limit).rows(*table_, 0, rows);
  }

  // The metadata is small: it is read as a tree and written at once. A
  // document that cannot be read is a mismatch before anything its metadata
  // says, so metadata that is refused is reported once the document has been
  // read to its end.
  std::int32_t metadata_element(XmlReader& reader, bool first) {
    if (!first) return reader.skip_element() ? kOk : kMismatch;
    XmlElement metadata;
    if (const auto status = read_xml_element(reader, budget_, metadata); status != kOk) return status;
    rejected_metadata_ = write_metadata(metadata);
    if (rejected_metadata_ == kInsufficientMemory) return rejected_metadata_;
    if (rejected_metadata_ != kOk) table_ = nullptr;  // the rows are not read then
    return kOk;
  }

  std::int32_t write_metadata(const XmlElement& metadata) {
    const XmlElement* fields = metadata.child("FIELDS");
    if (!fields) return kMismatch;
    Out out(head_);
    MetadataWriter writer(out);
    std::uint32_t count = 0;
    std::uint32_t direct = 0;
    if (const auto status = writer.fields(*fields, count, direct); status != kOk) return status;
    if (count == 0 || count > 0xFFFF) return kMismatch;
    writer.options(metadata.child("PARAMS"));
    out.patch16(12, count);
    flags_ |= packet_flag::kMetadata;
    PacketHeader header;
    if (const auto status = read_packet_header(head_, header); status != kOk) return status;
    header.column_count = static_cast<std::uint16_t>(count);
    std::size_t end = 0;
    if (const auto status = read_packet_metadata(head_, header, own_, budget_, end); status != kOk) {
      return status;
    }
    table_ = &own_;
    if (head_.size() <= 0xFFFF) {
      flags_ |= packet_flag::kRowOffset;
      out.patch16(22, static_cast<std::uint32_t>(head_.size()));
    }
    return kOk;
  }

  std::span<const std::uint8_t> xml_;
  const PacketTable* table_;  // of the rows: the metadata's, the store's, or none
  // A copy of the store's budget: what the conversion builds besides the
  // binary form is gone once it ends.
  PacketBudget budget_;
  std::vector<std::uint8_t> head_;  // header and metadata
  PacketTable own_;
  std::uint32_t flags_ = 0;
  std::int32_t rejected_metadata_ = kOk;
};

}  // namespace

std::int32_t convert_xml_packet(std::span<const std::uint8_t> xml, const PacketTable* known,
                                PacketBudget& budget, std::vector<std::uint8_t>& binary) {
  if (const auto status = Converter(xml, known, budget).run(binary); status != kOk) return status;
  return budget.take(binary.size()) ? kOk : kInsufficientMemory;
}

std::optional<std::size_t> xml_packet_extent(std::span<const std::uint8_t> bytes) {
  XmlReader reader(bytes, false);
  for (;;) {
    switch (reader.next()) {
      case XmlReader::Token::Start:
      case XmlReader::Token::End:
        break;
      case XmlReader::Token::Done:
        return reader.offset();
      case XmlReader::Token::Error:
        return std::nullopt;
    }
  }
}

}  // namespace wardenix
