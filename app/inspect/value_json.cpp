#include "app/inspect/value_json.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "app/inspect/packet_report.h"
#include "dataset/data_store.h"

namespace wardenix {
namespace {

void write_array(JsonWriter& json, const Variant& value) {
  const VariantArray& array = *value.array();
  if (value.is_byte_array()) {
    const auto bytes = value.bytes();
    if (packet_extent(bytes)) {
      json.begin_object().key("packet");
      inspect_packet(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), json);
      json.end_object();
    } else {
      json.begin_object().key("bytes");
      write_hex(json, bytes);
      json.end_object();
    }
    return;
  }
  const auto elements = [&] {
    json.begin_array();
    for (std::uint64_t i = 0; i < array.count(); ++i) write_variant(json, array.element(static_cast<std::size_t>(i)));
    json.end_array();
  };
  if (array.bounds.size() == 1) {
    elements();
    return;
  }
  json.begin_object().key("bounds").begin_array();
  for (const ArrayBound bound : array.bounds) json.begin_array().integer(bound.low).integer(bound.high).end_array();
  json.end_array().key("elements");
  elements();
  json.end_object();
}

}  // namespace

std::string date_time_text(TDateTime value) {
  const DateTimeParts p = decode_date_time(value);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", p.year, p.month, p.day, p.hour,
                p.minute, p.second, p.millisecond);
  return text;
}

std::string currency_text(Currency value) {
  // The magnitude in unsigned arithmetic, so that the most negative amount has one.
  const bool negative = value.scaled < 0;
  const std::uint64_t magnitude =
      negative ? ~static_cast<std::uint64_t>(value.scaled) + 1 : static_cast<std::uint64_t>(value.scaled);
  std::string text = negative ? "-" : "";
  text.append(std::to_string(magnitude / 10000));
  std::string fraction = std::to_string(magnitude % 10000);
  fraction.insert(0, 4 - fraction.size(), '0');
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (!fraction.empty()) text.append(1, '.').append(fraction);
  return text;
}

void write_double(JsonWriter& json, double value) {
  if (std::isfinite(value)) {
    json.number(value);
  } else {
    json.string(std::isnan(value) ? "NaN" : value > 0 ? "Infinity" : "-Infinity");
  }
}

void write_variant(JsonWriter& json, const Variant& value) {
  if (value.is_array()) {
    write_array(json, value);
    return;
  }
  switch (value.type()) {
    case varEmpty: json.begin_object().key("unassigned").boolean(true).end_object(); return;
    case varNull: json.null(); return;
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64: json.integer(value.as_int64()); return;
    case varUInt64: json.unsigned_integer(static_cast<std::uint64_t>(value.as_int64())); return;
    case varSingle:
    case varDouble: write_double(json, value.as_double()); return;
    case varCurrency: json.begin_object().key("currency").string(currency_text(value.as_currency())).end_object(); return;
    case varDate: json.begin_object().key("date").string(date_time_text(value.as_date())).end_object(); return;
    case varOleStr: json.string(to_utf8(value.as_string())); return;
    case varBoolean: json.boolean(value.as_bool()); return;
    case varError: json.begin_object().key("error").integer(value.as_int64()).end_object(); return;
    case varDispatch: json.begin_object().key("interface").string("dispatch").end_object(); return;
    case varUnknown: json.begin_object().key("interface").string("unknown").end_object(); return;
    default: break;
  }
  json.begin_object().key("type").integer(value.type()).end_object();
}

}  // namespace wardenix
