#pragma once
// The byte form of an OLE variant inside a stream value: 03, a 64-bit
// little-endian count and the bytes of a byte array; or 02 and the variant
// in streamer form (a 32-bit type code and the value, arrays with their
// bounds). All integers are little-endian.
#include <cstdint>
#include <span>
#include <vector>

#include "runtime/byte_source.h"
#include "runtime/reply_limit.h"
#include "runtime/variant.h"

namespace wardenix {

// Byte arrays as form 03, every other variant as form 02. Interface types
// and types without a stream form raise "Unsupported variant type: %s".
void WriteOleVariant(const Variant& value, std::vector<std::uint8_t>& out);
std::vector<std::uint8_t> WriteOleVariant(const Variant& value);
// Form 03 for any variant: a null or empty one writes the count 0.
void WriteOleVariantBytes(const Variant& value, std::vector<std::uint8_t>& out);

// Reads strictly forward. A first byte other than 03 or 02 gives an empty
// variant; a stream that ends too early raises "Stream read error". The
// variant read takes at most `limit` bytes of memory: a count or size that
// asks for more is refused before the bytes behind it are read (see
// reply_limit.h). Arrays of fixed-size elements and texts cost what their
// bytes in the stream do; an array of variants costs a Variant per element.
Variant ReadOleVariant(ByteSource& source, std::uint64_t limit = kReplyLimit);
Variant ReadOleVariant(std::span<const std::uint8_t> bytes, std::uint64_t limit = kReplyLimit);

}  // namespace wardenix
