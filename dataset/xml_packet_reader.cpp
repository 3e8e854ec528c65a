#include "dataset/xml_packet_reader.h"

#include <bit>
#include <charconv>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "dataset/packet_reader.h"
#include "dataset/packet_values.h"
#include "dataset/store_messages.h"
#include "dataset/xml_document.h"
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
// The binary form of an XML packet may be at most this much larger.
constexpr std::size_t kMaxGrowth = 16;
constexpr std::size_t kMaxGrowthSlack = std::size_t{1} << 20;

class Out {
 public:
  Out(std::vector<std::uint8_t>& bytes, std::size_t limit) : b_(bytes), limit_(limit) {}
  // Blank columns cost status bits in the binary form and nothing in XML, so
  // a short text could ask for a huge packet; past the limit it is refused.
  bool over_limit() const { return b_.size() > limit_; }
  void u8(std::uint32_t v) { b_.push_back(static_cast<std::uint8_t>(v)); }
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
  void bytes(std::string_view s) { b_.insert(b_.end(), s.begin(), s.end()); }
  void bytes(const std::vector<std::uint8_t>& s) { b_.insert(b_.end(), s.begin(), s.end()); }
  void patch32(std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) b_[at + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(v >> (8 * k));
  }
  void patch16(std::size_t at, std::uint32_t v) {
    b_[at] = static_cast<std::uint8_t>(v);
    b_[at + 1] = static_cast<std::uint8_t>(v >> 8);
  }
  std::size_t size() const { return b_.size(); }
  std::vector<std::uint8_t>& raw() { return b_; }

 private:
  std::vector<std::uint8_t>& b_;
  std::size_t limit_;
};

bool is_true(const std::string* text) { return text && equals_ascii_ci(from_utf8(*text), u"true"); }

template <typename T>
bool parse_number(std::string_view text, T& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc{} && ptr == end;
}

bool parse_hex(std::string_view text, std::vector<std::uint8_t>& out) {
  if (text.size() % 2 != 0) return false;
  const auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int hi = nibble(text[i]);
    const int lo = nibble(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  return true;
}

std::vector<std::uint8_t> utf16le(std::string_view utf8) {
  std::vector<std::uint8_t> out;
  for (const char16_t c : from_utf8(utf8)) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

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

bool put_prefixed(Out& out, std::uint32_t prefix, const std::vector<std::uint8_t>& payload) {
  const std::size_t n = payload.size();
  if ((prefix == 1 && n > 0xFF) || (prefix == 2 && n > 0xFFFF) ||
      n > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    return false;
  }
  const auto length = static_cast<std::uint32_t>(n);
  if (prefix == 1) out.u8(length);
  if (prefix == 2) out.u16(length);
  if (prefix == 4) out.u32(length);
  out.bytes(payload);
  return true;
}

// One value of a column, from the text of its attribute.
bool put_value(Out& out, std::uint32_t type_word, const std::string& text) {
  using namespace packet_type;
  const std::uint32_t c = code(type_word);
  const std::uint32_t sz = size(type_word);
  std::vector<std::uint8_t> payload;
  if (c == kString) {
    payload.assign(text.begin(), text.end());
  } else if (c == kWideString) {
    payload = utf16le(text);
  } else if (is_varying(type_word) || c == kBytes || c == kBytesAlias || c == kBcd ||
             c == kFormattedBcd || c == kSqlTimestamp || c == kSqlTimestampOffset ||
             !(c == kInteger || c == kUnsigned || c == kBoolean || c == kFloat || c == kDate ||
               c == kTime || c == kDateTime || c == kSingle)) {
    if (!parse_hex(text, payload)) return false;
  }
  if (is_varying(type_word)) return put_prefixed(out, sz, payload);

  switch (c) {
    case kInteger:
    case kDate:
    case kTime:
      return put_integer(out, text, sz, true);
    case kUnsigned:
      return put_integer(out, text, sz, false);
    case kBoolean: {
      const UString t = from_utf8(text);
      if (equals_ascii_ci(t, u"true")) return put_integer(out, "-1", sz, true);
      if (equals_ascii_ci(t, u"false")) return put_integer(out, "0", sz, true);
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
      if (payload.size() > width || (!padded && payload.size() != width)) return false;
      payload.resize(width, 0);
      out.bytes(payload);
      return true;
    }
  }
}

// Option values: Booleans and 32-bit integers where the text reads as one,
// 8-bit strings otherwise and always for "SUBTYPE" and "FIELDNAME".
void put_option(Out& out, std::string_view name, const std::string& text) {
  out.u8(static_cast<std::uint32_t>(std::min<std::size_t>(name.size(), 255)));
  out.bytes(name.substr(0, 255));
  const UString upper = ascii_upper(from_utf8(name));
  const bool text_only = upper == u"SUBTYPE" || upper == u"FIELDNAME";
  std::int32_t number = 0;
  if (!text_only && (is_true(&text) || equals_ascii_ci(from_utf8(text), u"false"))) {
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

const XmlElement* child(const XmlElement& e, std::string_view name) {
  for (const auto& c : e.children) {
    if (c.name == name) return &c;
  }
  return nullptr;
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

  void options(const XmlElement* params, std::uint32_t extra_count = 0) {
    const std::size_t count_at = out_.size();
    out_.u16(0);
    std::uint32_t count = extra_count;
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
    const std::size_t type_at = out_.size();
    out_.u32(0);
    out_.u16(attributes);

    // Attributes that are options in the binary form, then PARAMS.
    const std::size_t option_count_at = out_.size();
    out_.u16(0);
    std::uint32_t option_count = 0;
    const XmlElement* params = child(e, "PARAMS");
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
      const XmlElement* inner = child(e, "FIELDS");
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

class RowWriter {
 public:
  explicit RowWriter(Out& out) : out_(out) {}

  std::int32_t rows(const PacketTable& table, const XmlElement& parent, std::uint32_t& count) {
    for (const auto& row_element : parent.children) {
      if (row_element.name != "ROW") continue;
      if (const auto status = row(table, row_element); status != kOk) return status;
      if (out_.over_limit()) return kMismatch;
      ++count;
    }
    return kOk;
  }

 private:
  static const std::string& column_name(const PacketColumn& column) {
    return column.full_name ? *column.full_name : column.name;
  }

  std::int32_t row(const PacketTable& table, const XmlElement& e) {
    std::uint32_t state = 0;
    if (const auto* text = e.attribute("RowState")) {
      if (!parse_number(*text, state) || state > 0xFF) return kMismatch;
    }
    out_.u8(state);
    const std::size_t status_at = out_.size();
    out_.raw().resize(out_.size() + table.status_bytes, 0);
    for (std::size_t j = 0; j < table.positions.size(); ++j) {
      const RowPosition& p = table.positions[j];
      const PacketColumn& column = table.columns[p.column];
      const auto blank = [&] {
        out_.raw()[status_at + j / 4] |= static_cast<std::uint8_t>(1u << ((j % 4) * 2));
      };
      if (p.kind == ValueKind::None) continue;
      if (p.kind == ValueKind::Nested) {
        const XmlElement* nested = child(e, column_name(column));
        if (!nested) {
          blank();
          continue;
        }
        const std::size_t count_at = out_.size();
        out_.u32(0);
        std::uint32_t count = 0;
        if (const auto status = rows(*p.nested, *nested, count); status != kOk) return status;
        out_.patch32(count_at, count);
        continue;
      }
      const std::string* text = e.attribute(column_name(column));
      if (!text) {
        blank();
        continue;
      }
      if (!put_value(out_, column.type_word, *text)) return kMismatch;
    }
    return kOk;
  }

  Out& out_;
};

std::int32_t convert(const XmlElement& root, const PacketTable* known, Out& out) {
  const XmlElement* first = &root;
  const XmlElement* rowdata = nullptr;
  const XmlElement* metadata = nullptr;
  if (root.name == "DATAPACKET") {
    first = nullptr;
    for (const auto& c : root.children) {
      if (c.name == "METADATA" || c.name == "ROWDATA") {
        first = &c;
        break;
      }
    }
    if (!first) return kMismatch;
  }
  if (first->name == "METADATA") {
    metadata = first;
    if (root.name == "DATAPACKET") rowdata = child(root, "ROWDATA");
  } else if (first->name == "ROWDATA") {
    rowdata = first;
  } else {
    return kMismatch;
  }

  // Header; counts, flags and the row offset are filled in below.
  out.u32(kPacketSignature);
  out.u16(1);
  out.u16(0);
  out.u32(static_cast<std::uint32_t>(kPacketHeaderSize));
  out.u16(0);
  out.u32(0);
  out.u32(0);
  out.u16(0);

  PacketTable own;
  const PacketTable* table = known;
  std::uint32_t flags = 0;
  if (metadata) {
    const XmlElement* fields = child(*metadata, "FIELDS");
    if (!fields) return kMismatch;
    MetadataWriter writer(out);
    std::uint32_t count = 0;
    std::uint32_t direct = 0;
    if (const auto status = writer.fields(*fields, count, direct); status != kOk) return status;
    if (count == 0 || count > 0xFFFF) return kMismatch;
    writer.options(child(*metadata, "PARAMS"));
    out.patch16(12, count);
    flags |= packet_flag::kMetadata;
    PacketHeader header;
    std::size_t end = 0;
    if (auto status = read_packet_header(out.raw(), header); status != kOk) return status;
    header.column_count = static_cast<std::uint16_t>(count);
    if (auto status = read_packet_metadata(out.raw(), header, own, end); status != kOk) return status;
    table = &own;
    if (out.size() <= 0xFFFF) {
      flags |= packet_flag::kRowOffset;
      out.patch16(22, static_cast<std::uint32_t>(out.size()));
    }
  }

  std::uint32_t row_count = 0;
  if (rowdata && table) {
    if (const auto status = RowWriter(out).rows(*table, *rowdata, row_count); status != kOk) {
      return status;
    }
  }
  out.patch32(14, row_count);
  out.patch32(18, flags);
  return kOk;
}

}  // namespace

std::int32_t convert_xml_packet(std::span<const std::uint8_t> xml, const PacketTable* known,
                                std::vector<std::uint8_t>& binary) {
  XmlElement root;
  if (!parse_xml_document(xml, root)) return kMismatch;
  binary.clear();
  Out out(binary, kMaxGrowth * xml.size() + kMaxGrowthSlack);
  return convert(root, known, out);
}

}  // namespace wardenix
