#include "app/inspect/packet_report.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <utility>

#include "app/inspect/json_writer.h"
#include "dataset/client_dataset.h"
#include "dataset/packet_values.h"
#include "runtime/errors.h"
#include "runtime/ustring.h"

namespace wardenix {

namespace {

// Long values are converted piece by piece, cut where no character is split,
// so that a value of any length costs little more than a piece.
constexpr std::size_t kPieceBytes = 4096;

// 8-bit text as UTF-8, invalid sequences replaced. A piece never ends before
// a continuation byte, so no sequence is split.
void utf8_text(JsonWriter& json, std::span<const std::uint8_t> bytes) {
  json.begin_string();
  while (!bytes.empty()) {
    std::size_t n = std::min(bytes.size(), kPieceBytes);
    while (n < bytes.size() && n > 1 && (bytes[n] & 0xC0) == 0x80) --n;
    json.string_part(to_utf8(from_utf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), n))));
    bytes = bytes.subspan(n);
  }
  json.end_string();
}

// UTF-16 text, a fixed width without its trailing zeros; an odd last byte
// reads as U+FFFD. A piece never ends between the halves of a surrogate pair.
void utf16_text(JsonWriter& json, std::span<const std::uint8_t> bytes, bool fixed) {
  const bool odd = bytes.size() % 2 != 0;
  std::size_t units = bytes.size() / 2;
  if (fixed && !odd) {
    while (units > 0 && load_le16(bytes.data() + 2 * (units - 1)) == 0) --units;
  }
  json.begin_string();
  UString piece;
  for (std::size_t i = 0; i < units;) {
    std::size_t n = std::min(units - i, kPieceBytes);
    piece.clear();
    for (std::size_t k = 0; k < n; ++k) piece.push_back(static_cast<char16_t>(load_le16(bytes.data() + 2 * (i + k))));
    if (i + n < units && piece.back() >= 0xD800 && piece.back() <= 0xDBFF) {
      piece.pop_back();
      --n;
    }
    json.string_part(to_utf8(piece));
    i += n;
  }
  if (odd) json.string_part(to_utf8(u"\uFFFD"));
  json.end_string();
}

std::int64_t signed_value(std::span<const std::uint8_t> b) {
  switch (b.size()) {
    case 1:
      return static_cast<std::int8_t>(b[0]);
    case 2:
      return static_cast<std::int16_t>(load_le16(b.data()));
    case 4:
      return static_cast<std::int32_t>(load_le32(b.data()));
    default:
      return static_cast<std::int64_t>(load_le64(b.data()));
  }
}

std::uint64_t unsigned_value(std::span<const std::uint8_t> b) {
  switch (b.size()) {
    case 1:
      return b[0];
    case 2:
      return load_le16(b.data());
    case 4:
      return load_le32(b.data());
    default:
      return load_le64(b.data());
  }
}

bool integer_size(std::size_t n) { return n == 1 || n == 2 || n == 4 || n == 8; }

void row(JsonWriter& json, const RowView& view);

void value(JsonWriter& json, const PacketColumn& column, const RowValue& v) {
  if (v.state != SlotState::Value) {
    json.null();
    return;
  }
  const auto b = v.bytes;
  const bool varying = packet_type::is_varying(column.type_word);
  switch (column.code()) {
    case packet_type::kInteger:
    case packet_type::kBoolean:
    case packet_type::kDate:
    case packet_type::kTime:
      if (!varying && integer_size(b.size())) {
        json.integer(signed_value(b));
        return;
      }
      break;
    case packet_type::kUnsigned:
      if (!varying && integer_size(b.size())) {
        json.unsigned_integer(unsigned_value(b));
        return;
      }
      break;
    case packet_type::kFloat:
    case packet_type::kDateTime:
    case packet_type::kSingle:
      if (!varying && b.size() == 8) {
        const double d = std::bit_cast<double>(load_le64(b.data()));
        if (std::isfinite(d)) {
          json.number(d);
          return;
        }
      }
      break;  // 10-byte values and values JSON has no number for go as hex
    case packet_type::kString: {
      auto text = b;
      if (!varying) {
        while (!text.empty() && text.back() == 0) text = text.first(text.size() - 1);
      }
      utf8_text(json, text);
      return;
    }
    case packet_type::kWideString:
      utf16_text(json, b, !varying);
      return;
    case packet_type::kNested:
      json.begin_array();
      for (const RowView& nested : v.nested_rows) row(json, nested);
      json.end_array();
      return;
    default:
      break;
  }
  write_hex(json, b);
}

void row(JsonWriter& json, const RowView& view) {
  json.begin_array();
  view.visit([&](const RowValue& v) { value(json, view.table().columns[v.column], v); });
  json.end_array();
}

void columns(JsonWriter& json, const std::vector<TFieldDef>& defs) {
  json.begin_array();
  for (const auto& def : defs) {
    json.begin_object();
    json.key("name").string(to_utf8(def.Name));
    json.key("type").unsigned_integer(def.DataType);
    json.key("size").unsigned_integer(def.Size);
    json.key("attributes").unsigned_integer(def.Attributes);
    if (def.DataType == packet_type::kNested) {
      json.key("columns");
      columns(json, def.ChildDefs);
    }
    json.end_object();
  }
  json.end_array();
}

void table_options(JsonWriter& json, const TClientDataSet& cds) {
  json.begin_object();
  std::vector<UString> written;
  for (const auto& option : cds.DSBase()->Table().options) {
    const UString name = from_utf8(option.name);
    bool repeated = false;
    for (const auto& w : written) repeated = repeated || equals_ascii_ci(w, name);
    if (repeated) continue;
    const Variant v = cds.GetOptionalParam(name);
    switch (v.type()) {
      case varBoolean:
        json.key(option.name).boolean(v.as_bool());
        break;
      case varInteger:
      case varByte:
      case varLongWord:
        json.key(option.name).integer(v.as_int64());
        break;
      case varDouble:
        if (!std::isfinite(v.as_double())) continue;
        json.key(option.name).number(v.as_double());
        break;
      case varOleStr:
        json.key(option.name).string(to_utf8(v.as_string()));
        break;
      default:
        continue;
    }
    written.push_back(name);
  }
  json.end_object();
}

void report(JsonWriter& json, const TClientDataSet& cds) {
  json.begin_object();
  json.key("columns");
  columns(json, cds.FieldDefs());
  json.key("rows").begin_array();
  cds.DSBase()->ForEachRow([&](const RowView& view) { row(json, view); });
  json.end_array();
  const TDSOptions options = cds.DSOptions();
  json.key("dataset_options").begin_object();
  json.key("doDisableEdits").boolean(options.Contains(doDisableEdits));
  json.key("doDisableInserts").boolean(options.Contains(doDisableInserts));
  json.key("doDisableDeletes").boolean(options.Contains(doDisableDeletes));
  json.key("doNoResetCall").boolean(options.Contains(doNoResetCall));
  json.end_object();
  json.key("table_options");
  table_options(json, cds);
  json.end_object();
}

void error_report(JsonWriter& json, const Exception& e, std::int32_t code) {
  json.begin_object().key("error").begin_object();
  json.key("class").string(e.ClassName());
  json.key("code").integer(code);
  json.key("message").string(to_utf8(e.Message()));
  json.end_object().end_object();
}

}  // namespace

bool inspect_packet(std::vector<std::uint8_t> bytes, JsonWriter& json) {
  TClientDataSet cds;
  try {
    cds.SetData(Variant::from_bytes(std::move(bytes)));
  } catch (const EDBClient& e) {
    error_report(json, e, e.ErrorCode());
    return false;
  } catch (const Exception& e) {
    error_report(json, e, 0);
    return false;
  }
  report(json, cds);
  return true;
}

}  // namespace wardenix
