#pragma once
// The wire of one client connection, shared by the connection and its
// commands: the channel, the message writer and reader, and the requests and
// replies of the protocol. TDBXJSonClientOutputConnectionHandler writes the
// requests and owns TDBXJSonClientInputConnectionHandler, which reads the
// replies. Once the connection closes the channel, every request raises
// "Operation failed.  Connection was closed".
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "dbx/dbx_context.h"
#include "dbx/parameter_list.h"
#include "runtime/reply_limit.h"
#include "wire/blob_reader.h"
#include "wire/channel.h"
#include "wire/message_reader.h"
#include "wire/message_writer.h"

namespace wardenix {

// A parameter or column as the server describes it.
struct TDBXWireValueType {
  std::int32_t data_type = 0;
  std::int32_t sub_type = 0;
  std::int32_t direction = 0;
  std::int64_t precision = 0;
  std::int32_t scale = 0;
  UString name;
  std::int32_t child_position = 0;
  std::int64_t size = 0;
  std::int32_t flags = 0;
};

struct TDBXConnectReply {
  std::int32_t handle = -1;
  UString product_name;
  std::int32_t protocol_version = 0;
};

struct TDBXPrepareReply {
  std::optional<std::int32_t> handle;
  // Present when the reply described the parameters.
  std::optional<std::vector<TDBXWireValueType>> parameters;
};

// The reply to next_result up to the table that may follow it.
struct TDBXNextResultReply {
  bool more = false;
  std::int64_t rows_affected = 0;
  bool updateable = false;
  std::int32_t result = -1;
  // A table follows the reply.
  bool HasTable() const { return more && result >= 0; }
};

class TDBXClientInputTable;

class TDBXJSonClientInputConnectionHandler {
 public:
  explicit TDBXJSonClientInputConnectionHandler(TDBXJSonStreamReader& reader) : reader_(reader) {}

  TDBXConnectReply ReadConnectReply();
  TDBXPrepareReply ReadPrepareReply();
  UString ReadVendorPropertyReply();
  std::int32_t ReadTxBeginReply();
  void ReadTxEndReply();
  TDBXNextResultReply ReadNextResultReply();
  // One chunk of a value: appended to `into`; true when more chunks follow.
  bool ReadMoreBlobReply(std::vector<std::uint8_t>& into);
  // The items of a "parameters" member, from its "[" on.
  std::vector<TDBXWireValueType> ReadParameterItems();
  // The rest of a "data" object after its name: ":" "[" count, "," and the
  // bytes, "]" "}". Returns the count as sent (its sign tells whether more
  // follows); the bytes go to `into` unless it is null (then skipped).
  std::int32_t ReadDataObject(std::vector<std::uint8_t>* into);
  // The same in two steps around a caller that takes the bytes itself: up
  // to the bytes (the count as sent), and after them.
  std::int32_t ReadDataObjectStart();
  void ReadDataObjectEnd();

  TDBXJSonStreamReader& Reader() { return reader_; }

 private:
  TDBXJSonStreamReader& reader_;
};

class TDBXJSonClientOutputConnectionHandler {
 public:
  // Takes an open channel; the writer and reader get `buffer_size` bytes.
  // No value of a reply may be larger than `reply_limit` (see reply_limit.h).
  TDBXJSonClientOutputConnectionHandler(std::unique_ptr<TDbxChannel> channel,
                                        std::int32_t buffer_size, const TDBXContext& context,
                                        std::uint64_t reply_limit = kReplyLimit);
  ~TDBXJSonClientOutputConnectionHandler();
  TDBXJSonClientOutputConnectionHandler(const TDBXJSonClientOutputConnectionHandler&) = delete;
  TDBXJSonClientOutputConnectionHandler& operator=(const TDBXJSonClientOutputConnectionHandler&) =
      delete;

  std::int32_t BufferSize() const { return buffer_size_; }
  std::uint64_t ReplyLimit() const { return reply_limit_; }
  bool IsOpen() const { return channel_ != nullptr; }
  // The writer, the reader and the input handler of an open wire.
  TDBXJSonStreamWriter& Writer();
  TDBXJSonStreamReader& Reader();
  TDBXJSonClientInputConnectionHandler& Input();

  // Each request is written and flushed unless said otherwise.
  void Connect(const TDBXProperties& properties);
  void Disconnect(std::int32_t connection_handle);
  void VendorProperty(UStringView name);
  void TxBegin(std::int32_t isolation_level);
  void TxEnd(bool commit, std::int32_t transaction_handle);
  // The parameters object only for a list that holds parameters.
  void Prepare(std::int32_t command_handle, UStringView command_type, UStringView text,
               const TDBXParameterList* parameters);
  // A prepared command: its handle, the parameter descriptions when given,
  // the parameter row when not empty, then each input table with its first
  // rows.
  void ExecutePrepared(std::int32_t command_handle, const TDBXParameterList* descriptions,
                       std::span<const std::uint8_t> row,
                       std::span<const std::unique_ptr<TDBXClientInputTable>> tables = {});
  // A command that was never prepared (it has no parameters).
  void ExecuteUnprepared(std::int32_t command_handle, UStringView command_type, UStringView text);
  void CommandClose(std::int32_t command_handle);
  // Not flushed: it leaves with the next request.
  void ReaderClose(std::int32_t row_handle, std::int32_t command_handle);
  void Next(std::int32_t row_handle, std::int64_t position, std::int32_t command_handle);
  void MoreBlob(const BlobKey& key);
  void NextResult(std::int32_t command_handle);

  // Answers to the server's callback request: the callback's result as
  // JSON text in a "data" block, or the error object of its failure.
  void CallbackResult(std::string_view json);
  void CallbackError(UStringView class_name, std::int32_t code, UStringView message);

  // Closes and frees the channel, the writer and the reader.
  void CloseChannel();

 private:
  void Begin(std::string_view method);
  void End();
  void WriteParameters(const TDBXParameterList& parameters);

  std::unique_ptr<TDbxChannel> channel_;
  std::int32_t buffer_size_;
  std::uint64_t reply_limit_;
  std::unique_ptr<TDBXJSonStreamWriter> writer_;
  std::unique_ptr<TDBXJSonStreamReader> reader_;
  std::unique_ptr<TDBXJSonClientInputConnectionHandler> input_;
};

// TDBXError 30 "Operation failed.  Connection was closed".
[[noreturn]] void RaiseConnectionClosed();

// The bytes a "data" block's count stands for: its sign only tells whether
// more blocks follow.
std::uint64_t DataCountBytes(std::int64_t count);

}  // namespace wardenix
