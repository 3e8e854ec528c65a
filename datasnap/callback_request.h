#pragma once
// The argument of the server's "callback" request: the raw JSON text
// [parameter ordinal, argument]. Only the syntax is checked; the argument is
// handed to the callback as the JSON text it arrived as.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wardenix {

struct CallbackRequest {
  std::int32_t ordinal = 0;
  std::string argument;  // JSON text
};

// Nothing when the text is not one JSON array of an integer ordinal and one
// value (blanks around any token allowed, nothing after the array).
std::optional<CallbackRequest> ParseCallbackRequest(std::string_view json);

}  // namespace wardenix
