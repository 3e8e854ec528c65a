#pragma once
// The largest value a server's reply may carry: a "data" block, a stream or
// text value pulled in chunks, a JSON string, or a decoded OLE variant. A
// length prefix above the limit is refused before anything behind it is read
// (TDBXError 2, "Insufficient memory"), and so is a value pulled in chunks
// once their sum passes it; the connection's stream is then at an undefined
// position and the connection has to be closed.
//
// 32 MiB. The probe's real answer (the table GR_VERSAO, a few rows) is a few
// kilobytes, so the limit is four orders of magnitude above what this client
// needs. On the 32-bit Windows target the whole process has 2 GiB of address
// space, fragmented by its code, heaps and thread stacks: a reply at the
// limit costs the client at most twice its size on the wire side and again
// at most twice in the client dataset, about 128 MiB in blocks of at most
// 32 MiB, which such an address space still provides; a much larger limit
// would let one answer exhaust it.
#include <cstdint>

#include "runtime/errors.h"

namespace wardenix {

inline constexpr std::uint64_t kReplyLimit = std::uint64_t{32} << 20;

// Raises the refusal when `size` bytes exceed `limit`.
inline void CheckReplySize(std::uint64_t size, std::uint64_t limit) {
  if (size <= limit) return;
  throw TDBXError(2, format_message(u"The server's reply is too large: %s bytes, more than the %s "
                                    u"bytes this client takes in",
                                    {to_ustring_unsigned(size), to_ustring_unsigned(limit)}));
}

}  // namespace wardenix
