#include "runtime/reply_limit.h"

#include "runtime/errors.h"

namespace wardenix {

void CheckReplySize(std::uint64_t size, std::uint64_t limit) {
  if (size <= limit) return;
  throw TDBXError(2, format_message(u"The server's reply is too large: %s bytes, more than the %s "
                                    u"bytes this client takes in",
                                    {to_ustring_unsigned(size), to_ustring_unsigned(limit)}));
}

}  // namespace wardenix
