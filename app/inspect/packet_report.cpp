#include "app/inspect/packet_report.h"

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

void hex(JsonWriter& json, std::span<const std::uint8_t> bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const auto b : bytes) {
    text.push_back(kHex[b >> 4]);
    text.push_back(kHex[b & 0xF]);
  }
  json.string(text);
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

void rows(JsonWriter& json, const std::vector<RowView>& views);

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
      json.string(to_utf8(from_utf8(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()))));
      return;
    }
    case packet_type::kWideString: {
      UString text;
      for (std::size_t i = 0; i + 1 < b.size(); i += 2) text.push_back(static_cast<char16_t>(load_le16(b.data() + i)));
      if (b.size() % 2 != 0) text.push_back(u'\uFFFD');
      if (!varying) {
        while (!text.empty() && text.back() == u'\0') text.pop_back();
      }
      json.string(to_utf8(text));
      return;
    }
    case packet_type::kNested:
      rows(json, v.nested_rows);
      return;
    default:
      break;
  }
  hex(json, b);
}

void rows(JsonWriter& json, const std::vector<RowView>& views) {
  json.begin_array();
  for (const auto& row : views) {
    json.begin_array();
    for (const auto& v : row.values()) value(json, row.table().columns[v.column], v);
    json.end_array();
  }
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

std::string report(const TClientDataSet& cds) {
  JsonWriter json;
  json.begin_object();
  json.key("columns");
  columns(json, cds.FieldDefs());
  const DataStore& store = *cds.DSBase();
  std::vector<RowView> all;
  all.reserve(store.RowCount());
  for (std::size_t i = 0; i < store.RowCount(); ++i) all.push_back(store.Row(i));
  json.key("rows");
  rows(json, all);
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
  return json.text();
}

std::string error_report(const Exception& e, std::int32_t code) {
  JsonWriter json;
  json.begin_object().key("error").begin_object();
  json.key("class").string(e.ClassName());
  json.key("code").integer(code);
  json.key("message").string(to_utf8(e.Message()));
  json.end_object().end_object();
  return json.text();
}

}  // namespace

PacketReport inspect_packet(std::vector<std::uint8_t> bytes) {
  TClientDataSet cds;
  try {
    cds.SetData(Variant::from_bytes(std::move(bytes)));
  } catch (const EDBClient& e) {
    return {false, error_report(e, e.ErrorCode())};
  } catch (const Exception& e) {
    return {false, error_report(e, 0)};
  }
  return {true, report(cds)};
}

}  // namespace wardenix
