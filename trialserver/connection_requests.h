#pragma once
// The requests about a connection rather than a command: txbegin opens a
// transaction under a handle counting up from 1 on each connection, txend
// commits or rolls back an open one (an error object with code 16 for a
// handle that is not open), vendor_property answers "ProductName" with the
// product name and any other name with the empty text.
//
// The connect reply announces no protocol version, so clients that follow
// it never send vendor_property; the server answers it all the same.
#include <cstdint>
#include <set>

#include "runtime/ustring.h"
#include "wire/message_reader.h"
#include "wire/message_writer.h"

namespace wardenix::trial {

class ConnectionRequests {
 public:
  // When `method` is one of the three: reads the rest of the request, from
  // behind the "[" of its params, answers it and returns true. Otherwise
  // reads nothing and returns false. A malformed request raises TDBXError.
  bool Answer(UStringView method, TDBXJSonStreamReader& reader, TDBXJSonStreamWriter& writer);

  std::size_t OpenTransactions() const { return open_.size(); }

 private:
  std::set<std::int32_t> open_;
  std::int32_t next_transaction_ = 1;
};

}  // namespace wardenix::trial
