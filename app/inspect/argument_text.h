#pragma once
// Arguments of a remote method written as text on the command line, read by
// the type of the parameter each is for:
//
//   string      the text as it stands
//   Integer     a whole number from -2147483648 to 2147483647
//   Currency    a decimal number with at most four decimals: "-1234.5678"
//   TDateTime   local date and time, ISO style: "2024-02-29",
//               "2024-02-29T13:45:30.250" (or a blank for the "T"), or a time
//               of day alone, "13:45" or "13:45:30.250"
//   OleVariant  null; hex:HEX or base64:TEXT, a byte array; @FILE, a byte
//               array of the file's data packet (read as `packet` reads one)
//               or of the whole file when it holds none; else JSON: true,
//               false, a number (a 32-bit, else a 64-bit integer, else a
//               double), "text", [elements], or one of {"bytes":"HEX"},
//               {"date":"TDATETIME"}, {"currency":"CURRENCY"}
//   TDataSet    FILE, a data packet loaded into a client dataset
//
// Each reader gives the value, or why the text is not one.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "dataset/client_dataset.h"
#include "runtime/currency.h"
#include "runtime/datetime.h"
#include "runtime/variant.h"

namespace wardenix {

template <typename T>
struct Parsed {
  std::optional<T> value;
  std::string error;  // set when there is no value
};

Parsed<UString> parse_text(std::string_view text);
Parsed<std::int32_t> parse_integer(std::string_view text);
Parsed<Currency> parse_currency(std::string_view text);
Parsed<TDateTime> parse_date_time(std::string_view text);
Parsed<Variant> parse_variant(std::string_view text);
Parsed<std::shared_ptr<TClientDataSet>> parse_dataset(std::string_view path);

}  // namespace wardenix
