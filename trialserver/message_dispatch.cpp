#include "trialserver/message_dispatch.h"

#include <atomic>

#include "runtime/errors.h"
#include "runtime/variant.h"
#include "runtime/variant_stream.h"
#include "trialserver/versao_table.h"

namespace wardenix::trial {
namespace {

// Rows and pulled values beyond this size are refused: a client cannot make
// the server hold more.
constexpr std::uint64_t kLargestValue = 64u * 1024 * 1024;

// Connection handles are unique across the whole server.
std::atomic<std::int32_t> g_next_connection_handle{1};

ServerError unsupported(UStringView what) {
  return {u"TDBXError", 27, u"Mensagem n\u00E3o suportada: " + UString(what)};
}

ServerError unknown_command(UStringView type, UStringView text) {
  return {u"TDBXError", 27, u"Comando desconhecido: " + UString(type) + u" " + UString(text)};
}

ServerError closed_command(std::int64_t handle) {
  return {u"TDBXError", 4, u"Comando " + to_ustring(handle) + u" n\u00E3o est\u00E1 aberto"};
}

ServerError not_connected() {
  return {u"TDBXError", 21, u"A conex\u00E3o n\u00E3o foi aberta"};
}

ServerError refused_access() {
  return {u"EAcessoNegado", 12, u"Acesso negado: RIDaduvorod inv\u00E1lido"};
}

ServerError simulated_failure() {
  return {u"EFalhaSimulada", 0, u"Falha simulada no servidor de testes"};
}

[[noreturn]] void malformed(UStringView what) { throw TDBXError(2, UString(what)); }

std::uint64_t magnitude(std::int64_t count) {
  return count < 0 ? 0 - static_cast<std::uint64_t>(count) : static_cast<std::uint64_t>(count);
}

// Keeps what a writer sends, for a reply that is only half sent.
class CaptureChannel final : public TDbxChannel {
 public:
  void Open() override {}
  void Close() override {}
  int Read(std::span<std::uint8_t>) override { return -1; }
  int Write(std::span<const std::uint8_t> bytes) override {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return static_cast<int>(bytes.size());
  }
  TDBXSocketChannelInfo GetChannelInfo() const override { return {}; }
  std::shared_ptr<AbortSwitch> AbortHandle() override { return abort_; }
  void SetAbortHandle(std::shared_ptr<AbortSwitch> abort_switch) override {
    abort_ = std::move(abort_switch);
  }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::shared_ptr<AbortSwitch> abort_ = std::make_shared<AbortSwitch>();
};

}  // namespace

ProtocolSettings MakeProtocolSettings(const TrialOptions& options) {
  ProtocolSettings settings;
  settings.options = options;
  settings.packet_stream =
      WriteOleVariant(Variant::from_bytes(versao_packet(options.version_rows)));
  return settings;
}

MessageDispatcher::MessageDispatcher(TDbxChannel& channel, const ProtocolSettings& settings,
                                     Clock& clock)
    : channel_(channel),
      settings_(settings),
      clock_(clock),
      reader_(channel, kBufferSize, context_),
      writer_(channel, kBufferSize) {}

void MessageDispatcher::Answer(const ServerError& error) { WriteErrorReply(writer_, error); }

void MessageDispatcher::AnswerError(const ServerError& error) { Answer(error); }

// The scalars of a params array up to its "]"; true counts 1, anything
// that is no number 0.
std::vector<std::int64_t> MessageDispatcher::ReadScalars() {
  std::vector<std::int64_t> values;
  for (;;) {
    switch (reader_.Next()) {
      case JsonToken::kArrayEnd: return values;
      case JsonToken::kValueSeparator: continue;
      case JsonToken::kNumber: values.push_back(reader_.ReadLong()); break;
      case JsonToken::kTrue: values.push_back(1); break;
      case JsonToken::kFalse:
      case JsonToken::kNull: values.push_back(0); break;
      case JsonToken::kString:
        reader_.ReadStringBody();
        values.push_back(0);
        break;
      case JsonToken::kObjectStart:
        reader_.SkipToEndOfObject();
        values.push_back(0);
        break;
      case JsonToken::kArrayStart:
        reader_.SkipToEndOfArray();
        values.push_back(0);
        break;
      default: malformed(u"Par\u00E2metros ileg\u00EDveis");
    }
  }
}

Outcome MessageDispatcher::HandleNext() {
  reader_.Next(JsonToken::kObjectStart);
  if (reader_.ReadString() != u"method") malformed(u"Pedido sem \"method\"");
  reader_.Next(JsonToken::kNameSeparator);
  const UString method = reader_.ReadString();
  reader_.Next(JsonToken::kValueSeparator);
  if (reader_.ReadString() != u"params") malformed(u"Pedido sem \"params\"");
  reader_.Next(JsonToken::kNameSeparator);
  reader_.Next(JsonToken::kArrayStart);

  if (method == u"connect") return Connect();

  // Requests without a reply.
  if (method == u"disconnect" || method == u"command_close" || method == u"reader_close") {
    const auto values = ReadScalars();
    reader_.Next(JsonToken::kObjectEnd);
    if (method == u"disconnect") return Outcome::End;
    if (method == u"command_close" && !values.empty()) {
      commands_.erase(static_cast<std::int32_t>(values[0]));
    }
    return Outcome::Continue;
  }

  if (connected_) {
    if (method == u"prepare") return Prepare();
    if (method == u"execute") return Execute();
    if (method == u"more_blob") return MoreBlob();
    if (connection_requests_.Answer(method, reader_, writer_)) return Outcome::Continue;
    if (method == u"next_result") {
      ReadScalars();
      reader_.Next(JsonToken::kObjectEnd);
      WriteNoNextResultReply(writer_);
      return Outcome::Continue;
    }
  }
  reader_.SkipToEndOfArray();
  reader_.Next(JsonToken::kObjectEnd);
  Answer(connected_ ? unsupported(method) : not_connected());
  return Outcome::Continue;
}

Outcome MessageDispatcher::Connect() {
  std::optional<UString> rid;
  JsonToken token = reader_.Next();
  if (token == JsonToken::kObjectStart) {
    for (;;) {
      token = reader_.Next();
      if (token == JsonToken::kObjectEnd) break;
      if (token == JsonToken::kValueSeparator) continue;
      if (token != JsonToken::kString) malformed(u"Propriedade ileg\u00EDvel");
      const UString name = reader_.ReadStringBody();
      reader_.Next(JsonToken::kNameSeparator);
      UString value = reader_.ReadString();
      if (name == u"RIDaduvorod") rid = std::move(value);
    }
    token = reader_.Next();
  }
  if (token != JsonToken::kArrayEnd) malformed(u"Par\u00E2metros de connect ileg\u00EDveis");
  reader_.Next(JsonToken::kObjectEnd);

  const auto& required = settings_.options.required_rid;
  if (required && rid != from_utf8(*required)) {
    Answer(refused_access());
    return Outcome::Continue;
  }
  connected_ = true;
  WriteConnectReply(writer_, g_next_connection_handle.fetch_add(1), kProductName);
  return Outcome::Continue;
}

std::int32_t MessageDispatcher::CommandHandleFor(std::int32_t requested) {
  if (requested >= 0 && commands_.contains(requested)) return requested;
  return next_command_handle_++;
}

Outcome MessageDispatcher::Prepare() {
  const std::int32_t requested = reader_.ReadInt();
  reader_.NextValueSeparator();
  reader_.ReadBoolean();
  reader_.NextValueSeparator();
  const UString type = reader_.ReadString();
  reader_.NextValueSeparator();
  const UString text = reader_.ReadString();
  // The client's own parameter descriptions, if any: the server's stand.
  reader_.SkipToEndOfArray();
  reader_.Next(JsonToken::kObjectEnd);

  if (const auto method = FindTableMethod(type, text)) {
    const std::int32_t handle = CommandHandleFor(requested);
    commands_[handle] = Command{std::nullopt, method, {}};
    WritePrepareReply(writer_, handle, TableMethodParameters(*method));
    return Outcome::Continue;
  }
  const auto kind = FindCommand(type, text);
  if (!kind) {
    Answer(unknown_command(type, text));
    return Outcome::Continue;
  }
  const std::int32_t handle = CommandHandleFor(requested);
  commands_[handle] = Command{*kind, std::nullopt, {}};
  WritePrepareReply(writer_, handle, CommandParameters(*kind));
  return Outcome::Continue;
}

Outcome MessageDispatcher::Execute() {
  std::optional<std::int32_t> handle;
  std::optional<std::pair<UString, UString>> unprepared;  // type and text
  std::vector<InputTable> tables;
  TDBXRowBuffer row(kBufferSize, false, true);
  row.SetContext(&context_);

  for (;;) {
    const JsonToken token = reader_.Next();
    if (token == JsonToken::kArrayEnd) break;
    if (token == JsonToken::kValueSeparator) continue;
    if (token != JsonToken::kObjectStart) malformed(u"Par\u00E2metros de execute ileg\u00EDveis");
    const JsonKeyword member = reader_.ReadStringCode();
    reader_.Next(JsonToken::kNameSeparator);
    switch (member) {
      case JsonKeyword::kHandle:
        reader_.Next(JsonToken::kArrayStart);
        handle = reader_.ReadInt();
        reader_.SkipToEndOfObject();
        break;
      case JsonKeyword::kFields: {
        reader_.Next(JsonToken::kArrayStart);
        handle = reader_.ReadInt();
        reader_.NextValueSeparator();
        reader_.ReadBoolean();
        reader_.NextValueSeparator();
        UString type = reader_.ReadString();
        reader_.NextValueSeparator();
        UString text = reader_.ReadString();
        unprepared.emplace(std::move(type), std::move(text));
        reader_.SkipToEndOfObject();
        break;
      }
      case JsonKeyword::kData: {
        reader_.Next(JsonToken::kArrayStart);
        const std::uint64_t count = magnitude(reader_.ReadLong());
        if (count > kLargestValue) malformed(u"Linha de par\u00E2metros grande demais");
        const JsonToken after = reader_.Next();
        if (after == JsonToken::kValueSeparator) {
          row.LoadRow(reader_, count);
          reader_.Next(JsonToken::kArrayEnd);
        } else if (after != JsonToken::kArrayEnd) {
          malformed(u"Bloco de dados ileg\u00EDvel");
        }
        reader_.Next(JsonToken::kObjectEnd);
        break;
      }
      case JsonKeyword::kTable:
        tables.emplace_back(reader_, kBufferSize, context_);
        break;
      default:  // parameter descriptions: the server's stand
        reader_.SkipToEndOfObject();
    }
  }
  reader_.Next(JsonToken::kObjectEnd);

  if (unprepared) {
    const auto kind = FindCommand(unprepared->first, unprepared->second);
    if (!kind) {
      Answer(unknown_command(unprepared->first, unprepared->second));
      return Outcome::Continue;
    }
    handle = CommandHandleFor(handle.value_or(-1));
    commands_[*handle] = Command{*kind, std::nullopt, {}};
  }
  const auto found = handle ? commands_.find(*handle) : commands_.end();
  if (found == commands_.end()) {
    Answer(closed_command(handle.value_or(-1)));
    return Outcome::Continue;
  }
  Command& command = found->second;
  command.rest.clear();
  if (command.table_method) return RunTableMethod(found->first, *command.table_method, tables);
  if (!tables.empty()) {
    Answer(unsupported(u"tabela de entrada"));
    return Outcome::Continue;
  }
  if (const auto table = AnsweredTable(*command.kind, kBufferSize)) {
    WriteTableReply(writer_, found->first, next_row_handle_++, table->columns, table->rows);
    return Outcome::Continue;
  }
  return RunMethod(found->first, command, row);
}

std::optional<Outcome> MessageDispatcher::PlayCallFault() {
  const TrialOptions& options = settings_.options;
  if (options.reply_delay_ms > 0) clock_.sleep_for(Millis(options.reply_delay_ms));
  switch (options.mode) {
    case FaultMode::CallHang: return Outcome::Hang;
    case FaultMode::CallError: Answer(simulated_failure()); return Outcome::Continue;
    default: return std::nullopt;
  }
}

Outcome MessageDispatcher::RunMethod(std::int32_t handle, Command& command, TDBXRowBuffer& row) {
  const TrialOptions& options = settings_.options;
  if (const auto fault = PlayCallFault()) return *fault;

  row.SetCommandHandle(handle);
  row.SetBlobRequest(
      [this](const BlobKey& key, std::vector<std::uint8_t>& into) { return PullInputChunk(key, into); });
  pulled_bytes_ = 0;
  MethodCall call;
  call.kind = *command.kind;
  call.input = &row;
  call.buffer_size = kBufferSize;
  call.version_rows = options.version_rows;
  call.packet_stream = &settings_.packet_stream;
  call.null_consultas = options.mode == FaultMode::NullResult;
  MethodResult result;
  try {
    result = RunServerMethod(call);
  } catch (const TDBXError& error) {
    if (error.ErrorCode() == 1) throw;  // the client went away
    Answer({u"TDBXError", error.ErrorCode(), error.Message()});
    return Outcome::Continue;
  }
  if (result.error) {
    Answer(*result.error);
    return Outcome::Continue;
  }
  command.rest = std::move(result.rest);

  if (options.mode == FaultMode::CutReply) {
    CaptureChannel capture;
    TDBXJSonStreamWriter whole(capture, kBufferSize);
    WriteExecuteReply(whole, handle, result.row);
    channel_.Write(std::span(capture.Bytes()).first(capture.Bytes().size() / 2));
    return Outcome::End;
  }
  WriteExecuteReply(writer_, handle, result.row);
  return Outcome::Continue;
}

Outcome MessageDispatcher::RunTableMethod(std::int32_t handle, TableMethod method,
                                          std::vector<InputTable>& tables) {
  if (const auto fault = PlayCallFault()) return *fault;
  if (tables.empty()) {
    Answer({u"TDBXError", 11, u"Par\u00E2metro DataSet sem tabela"});
    return Outcome::Continue;
  }
  InputTableTotals totals;
  try {
    for (InputTable& table : tables) {
      pulled_bytes_ = 0;
      const InputTableTotals read = table.ReadAll(
          reader_, writer_, handle,
          [this](const BlobKey& key, std::vector<std::uint8_t>& into) { return PullInputChunk(key, into); });
      totals.rows += read.rows;
      totals.values += read.values;
    }
  } catch (const TDBXError& error) {
    if (error.ErrorCode() == 1) throw;  // the client went away
    Answer({u"TDBXError", error.ErrorCode(), error.Message()});
    return Outcome::Continue;
  }
  // The reply row echoes the input as null.
  TDBXRowBuffer reply(kBufferSize, false, true);
  reply.WriteNull();
  WriteTableMethodReply(writer_, handle, TableMethodRowsAffected(method, totals), reply.Written());
  return Outcome::Continue;
}

bool MessageDispatcher::PullInputChunk(const BlobKey& key, std::vector<std::uint8_t>& into) {
  WriteMoreBlobRequest(writer_, key.command_handle, key.blob_handle, key.row, key.ordinal,
                       key.row_handle);
  reader_.Next(JsonToken::kObjectStart);
  const JsonKeyword member = reader_.ReadStringCode();
  if (member == JsonKeyword::kError) reader_.ReadErrorBody();
  if (member != JsonKeyword::kData) malformed(u"Resposta a more_blob sem \"data\"");
  reader_.Next(JsonToken::kNameSeparator);
  reader_.Next(JsonToken::kArrayStart);
  const std::int64_t count = reader_.ReadLong();
  pulled_bytes_ += magnitude(count);
  if (pulled_bytes_ > kLargestValue) malformed(u"Valor grande demais");
  const JsonToken after = reader_.Next();
  if (after == JsonToken::kValueSeparator) {
    reader_.ReadDataBytes(into, magnitude(count));
    reader_.Next(JsonToken::kArrayEnd);
  } else if (after != JsonToken::kArrayEnd) {
    malformed(u"Bloco de dados ileg\u00EDvel");
  }
  reader_.Next(JsonToken::kObjectEnd);
  return count > 0;
}

Outcome MessageDispatcher::MoreBlob() {
  const auto values = ReadScalars();
  reader_.Next(JsonToken::kObjectEnd);
  if (values.size() < 4) {
    Answer(unsupported(u"more_blob sem valor"));
    return Outcome::Continue;
  }
  const auto command = commands_.find(static_cast<std::int32_t>(values[0]));
  if (command == commands_.end()) {
    Answer(closed_command(values[0]));
    return Outcome::Continue;
  }
  auto& rest = command->second.rest;
  const auto value = rest.find(static_cast<std::int32_t>(values[3]));
  if (value == rest.end()) {
    Answer({u"TDBXError", 4, u"Valor " + to_ustring(values[3]) + u" sem bytes pendentes"});
    return Outcome::Continue;
  }
  WriteBlobChunkReply(writer_, *value->second);
  if (value->second->AtEnd()) rest.erase(value);
  return Outcome::Continue;
}

}  // namespace wardenix::trial
