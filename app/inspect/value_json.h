#pragma once
// The values of remote calls as JSON, in the forms the call command's
// arguments take (argument_text.h): texts, numbers and Booleans as JSON has
// them, a TDateTime as local ISO text "2024-02-29T13:45:30.250", Null as null.
// Inside a variant, what JSON has no form for is an object of one member:
// {"date":"..."}, {"currency":"12.5"}, {"bytes":"0a1b"}, {"unassigned":true},
// {"error":CODE}, {"interface":"dispatch"}; a byte array that holds a whole
// data packet is {"packet":...}, the packet as `wardenix-inspect packet`
// prints it. A one-dimensional array is a JSON array of its elements; one of
// more dimensions is {"bounds":[[LOW,HIGH],...],"elements":[...]}, the
// elements in row-major order.
#include <string>

#include "app/inspect/json_writer.h"
#include "runtime/currency.h"
#include "runtime/datetime.h"
#include "runtime/variant.h"

namespace wardenix {

std::string date_time_text(TDateTime value);
std::string currency_text(Currency value);

// A double JSON has no number for is the text "NaN", "Infinity" or "-Infinity".
void write_double(JsonWriter& json, double value);
void write_variant(JsonWriter& json, const Variant& value);

}  // namespace wardenix
