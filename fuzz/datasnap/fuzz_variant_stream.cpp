// The OLE variant stream decoder over arbitrary bytes; what it reads must
// stream again and read back equal.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "runtime/errors.h"
#include "runtime/variant_stream.h"

using namespace wardenix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Variant value;
  try {
    value = ReadOleVariant(std::span(data, size));
  } catch (const Exception&) {
    return 0;
  }
  std::vector<std::uint8_t> again;
  try {
    WriteOleVariant(value, again);
  } catch (const Exception&) {
    return 0;  // an empty array element type has no stream form
  }
  // A byte array changes form (it comes back from 0, or null when empty);
  // every other value, arrays held in raw memory included, must come back
  // equal.
  if (!value.is_byte_array() && !(ReadOleVariant(again) == value)) std::abort();
  return 0;
}
