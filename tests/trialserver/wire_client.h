#pragma once
// The client side of the wire for tests against a running trial server:
// the project's channel (with the transport handshake), message writer and
// reader, and the few requests and reply shapes the tests need. Every byte
// the client reads is recorded, so tests can look at replies byte by byte.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dbx/dbx_context.h"
#include "runtime/ustring.h"
#include "trialserver/reply_writer.h"
#include "wire/filter_channel.h"
#include "wire/message_reader.h"
#include "wire/message_writer.h"
#include "wire/row_buffer.h"

namespace wardenix::trial::test {

// Passes everything to the wrapped channel and keeps what was read.
class RecordingChannel final : public TDbxChannel {
 public:
  explicit RecordingChannel(TDbxChannel& inner) : inner_(inner) {}
  void Open() override {}
  void Close() override {}
  int Read(std::span<std::uint8_t> into) override;
  int Write(std::span<const std::uint8_t> bytes) override { return inner_.Write(bytes); }
  TDBXSocketChannelInfo GetChannelInfo() const override { return {}; }
  std::shared_ptr<AbortSwitch> AbortHandle() override { return inner_.AbortHandle(); }
  void SetAbortHandle(std::shared_ptr<AbortSwitch> s) override { inner_.SetAbortHandle(std::move(s)); }

  // What was read since the last call.
  std::string TakeReceived() { return std::exchange(received_, {}); }

 private:
  TDbxChannel& inner_;
  std::string received_;
};

struct PrepareReply {
  std::int32_t handle = -1;
  std::vector<ParameterSpec> parameters;
};

struct ExecuteReply {
  std::optional<std::int32_t> handle;
  std::vector<std::uint8_t> row;  // the "data" block of the result
  // A table: its columns and the bytes of its rows.
  std::vector<TableColumn> columns;
  std::vector<std::uint8_t> table_rows;
};

class WireClient {
 public:
  static constexpr std::int32_t kBufferSize = 32 * 1024;

  // Connects to 127.0.0.1:`port` through a filter channel; nothing is sent yet.
  explicit WireClient(std::uint16_t port);
  ~WireClient();

  TDBXFilterSocketChannel& Channel() { return *channel_; }
  RecordingChannel& Recorder() { return recorder_; }
  TDBXJSonStreamWriter& Writer() { return writer_; }
  TDBXJSonStreamReader& Reader() { return reader_; }

  // The connect message with these properties; returns the handle.
  void SendConnect(const std::vector<std::pair<UString, UString>>& properties);
  std::int32_t Connect(const std::vector<std::pair<UString, UString>>& properties);
  void SendDisconnect(std::int32_t handle);

  void SendPrepare(UStringView type, UStringView text);
  PrepareReply ReadPrepareReply();
  PrepareReply Prepare(UStringView type, UStringView text);

  // An execution of a prepared command with this parameter row.
  void SendExecute(std::int32_t handle, std::span<const std::uint8_t> row);
  // An execution of a command that was not prepared.
  void SendUnpreparedExecute(UStringView type, UStringView text);
  ExecuteReply ReadExecuteReply();

  // Reads the reply row of `handle` into `row`, where values that did not fit
  // it are pulled with more_blob requests.
  void LoadReplyRow(TDBXRowBuffer& row, std::int32_t handle, const ExecuteReply& reply);

  // Sends `{"method":name,"params":[raw params]}` as it stands.
  void SendRaw(const std::string& method, const std::string& params);

 private:
  bool PullReplyChunk(const BlobKey& key, std::vector<std::uint8_t>& into);

  std::unique_ptr<TDBXFilterSocketChannel> channel_;
  RecordingChannel recorder_;
  TDBXContext context_;
  TDBXJSonStreamWriter writer_;
  TDBXJSonStreamReader reader_;
};

// A parameter row written by the client side of the row codec.
TDBXRowBuffer ClientRow();

}  // namespace wardenix::trial::test
