#include "trialserver/connection_requests.h"

#include "trialserver/reply_writer.h"
#include "trialserver/server_methods.h"

namespace wardenix::trial {
namespace {

constexpr std::int32_t kInvalidTransaction = 16;

void end_request(TDBXJSonStreamReader& reader) {
  reader.Next(JsonToken::kArrayEnd);
  reader.Next(JsonToken::kObjectEnd);
}

}  // namespace

bool ConnectionRequests::Answer(UStringView method, TDBXJSonStreamReader& reader,
                                TDBXJSonStreamWriter& writer) {
  if (method == u"txbegin") {
    reader.ReadInt();  // the isolation level: every one is served alike
    end_request(reader);
    const std::int32_t handle = next_transaction_++;
    open_.insert(handle);
    WriteIntResultReply(writer, handle);
    return true;
  }
  if (method == u"txend") {
    reader.ReadBoolean();  // commit or rollback: there is nothing to keep or undo
    reader.NextValueSeparator();
    const std::int32_t handle = reader.ReadInt();
    end_request(reader);
    if (open_.erase(handle) == 0) {
      WriteErrorReply(writer, {u"TDBXError", kInvalidTransaction,
                               u"Transa\u00E7\u00E3o " + to_ustring(handle) +
                                   u" n\u00E3o est\u00E1 aberta"});
    } else {
      WriteEmptyResultReply(writer);
    }
    return true;
  }
  if (method == u"vendor_property") {
    const UString name = reader.ReadString();
    end_request(reader);
    WriteTextResultReply(writer, name == u"ProductName" ? UStringView(kProductName) : UStringView());
    return true;
  }
  return false;
}

}  // namespace wardenix::trial
