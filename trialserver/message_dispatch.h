#pragma once
// Reads the client's requests one by one and answers each: connect,
// disconnect, prepare, execute (pulling the rows of input tables with
// "next" requests), command_close, reader_close, more_blob, next_result,
// txbegin, txend and vendor_property; an error object for anything else.
// The protocol faults of the command line are played at the execution of a
// server method.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "dbx/dbx_context.h"
#include "mainloop/clock.h"
#include "runtime/byte_source.h"
#include "trialserver/connection_requests.h"
#include "trialserver/input_table.h"
#include "trialserver/options.h"
#include "trialserver/reply_writer.h"
#include "trialserver/server_methods.h"
#include "trialserver/table_methods.h"
#include "wire/channel.h"
#include "wire/message_reader.h"
#include "wire/message_writer.h"

namespace wardenix::trial {

// What every session of one server shares.
struct ProtocolSettings {
  TrialOptions options;
  // GR_VERSAO with options.version_rows rows, as the variant stream of a
  // byte array.
  std::vector<std::uint8_t> packet_stream;
};

ProtocolSettings MakeProtocolSettings(const TrialOptions& options);

// What the session does after a request.
enum class Outcome {
  Continue,  // read the next request
  End,       // close the connection
  Hang,      // keep the connection open and never answer again
};

class MessageDispatcher {
 public:
  // The message buffers of both directions.
  static constexpr std::int32_t kBufferSize = 32 * 1024;

  // `channel` is the channel after the transport handshake layer.
  MessageDispatcher(TDbxChannel& channel, const ProtocolSettings& settings, Clock& clock);

  // Reads one request and answers it. A malformed request raises
  // TDBXError code 2, a connection the peer closed code 1.
  Outcome HandleNext();

  // For a request that could not be read: after it nothing more is.
  void AnswerError(const ServerError& error);

 private:
  struct Command {
    // One of the two is set: a command of the catalogue, or a method that
    // takes a table.
    std::optional<CommandKind> kind;
    std::optional<TableMethod> table_method;
    // Reply values that did not fit the reply row, by ordinal.
    std::map<std::int32_t, std::unique_ptr<ByteSource>> rest;
  };

  Outcome Connect();
  Outcome Prepare();
  Outcome Execute();
  Outcome MoreBlob();
  // The delay, hang or failure of a call that the command line asks for;
  // nothing when the call is to be run.
  std::optional<Outcome> PlayCallFault();
  Outcome RunMethod(std::int32_t handle, Command& command, TDBXRowBuffer& row);
  // Pulls the tables in whole, then answers by the method's rule.
  Outcome RunTableMethod(std::int32_t handle, TableMethod method, std::vector<InputTable>& tables);
  // The client's next chunk of an input value that did not fit its row.
  bool PullInputChunk(const BlobKey& key, std::vector<std::uint8_t>& into);

  std::vector<std::int64_t> ReadScalars();
  std::int32_t CommandHandleFor(std::int32_t requested);
  void Answer(const ServerError& error);

  TDbxChannel& channel_;
  const ProtocolSettings& settings_;
  Clock& clock_;
  TDBXContext context_;
  TDBXJSonStreamReader reader_;
  TDBXJSonStreamWriter writer_;

  bool connected_ = false;
  ConnectionRequests connection_requests_;
  std::map<std::int32_t, Command> commands_;
  std::int32_t next_command_handle_ = 1;
  std::int32_t next_row_handle_ = 1;
  std::uint64_t pulled_bytes_ = 0;
};

}  // namespace wardenix::trial
