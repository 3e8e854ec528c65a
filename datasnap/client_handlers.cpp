#include "datasnap/client_handlers.h"

#include "datasnap/client_input_table.h"
#include "dbx/data_types.h"
#include "runtime/errors.h"
#include "wire/message_fragments.h"

namespace wardenix {

void RaiseConnectionClosed() { throw TDBXError(30, u"Operation failed.  Connection was closed"); }

std::uint64_t DataCountBytes(std::int64_t count) {
  return count < 0 ? 0 - static_cast<std::uint64_t>(count) : static_cast<std::uint64_t>(count);
}

// ---- replies

TDBXConnectReply TDBXJSonClientInputConnectionHandler::ReadConnectReply() {
  TDBXConnectReply reply;
  reader_.NextResultObjectStart();
  reader_.Next(JsonToken::kArrayStart);
  reply.handle = reader_.ReadInt();
  reader_.NextValueSeparator();
  reply.product_name = reader_.ReadString();
  if (reader_.Next() == JsonToken::kValueSeparator) reply.protocol_version = reader_.ReadInt();
  reader_.SkipToEndOfObject();
  return reply;
}

std::vector<TDBXWireValueType> TDBXJSonClientInputConnectionHandler::ReadParameterItems() {
  reader_.Next(JsonToken::kArrayStart);
  const std::int32_t count = reader_.ReadInt();
  std::vector<TDBXWireValueType> items;
  for (std::int32_t i = 0; i < count; ++i) {
    reader_.NextValueSeparator();
    reader_.Next(JsonToken::kArrayStart);
    TDBXWireValueType item;
    item.data_type = reader_.ReadInt();
    reader_.NextValueSeparator();
    item.sub_type = reader_.ReadInt();
    reader_.NextValueSeparator();
    item.direction = reader_.ReadInt();
    reader_.NextValueSeparator();
    item.precision = reader_.ReadLong();
    reader_.NextValueSeparator();
    item.scale = reader_.ReadInt();
    reader_.NextValueSeparator();
    item.name = reader_.ReadString();
    reader_.NextValueSeparator();
    item.child_position = reader_.ReadInt();
    reader_.NextValueSeparator();
    item.size = reader_.ReadLong();
    // Flags and a literal's value may follow; an item may end after the size.
    if (reader_.Next() == JsonToken::kValueSeparator) {
      item.flags = reader_.ReadInt();
      if (reader_.Next() == JsonToken::kValueSeparator) {
        reader_.ReadString();
        reader_.Next(JsonToken::kArrayEnd);
      }
    }
    item.flags |= TDBXValueTypeFlags::FromServer;
    items.push_back(std::move(item));
  }
  reader_.Next(JsonToken::kArrayEnd);
  return items;
}

TDBXPrepareReply TDBXJSonClientInputConnectionHandler::ReadPrepareReply() {
  TDBXPrepareReply reply;
  reader_.NextResultObjectStart();
  reader_.Next(JsonToken::kArrayStart);
  for (;;) {
    reader_.Next(JsonToken::kObjectStart);
    const JsonKeyword member = reader_.ReadStringCode();
    reader_.Next(JsonToken::kNameSeparator);
    switch (member) {
      case JsonKeyword::kHandle:
        reader_.Next(JsonToken::kArrayStart);
        reply.handle = reader_.ReadInt();
        reader_.Next(JsonToken::kArrayEnd);
        break;
      case JsonKeyword::kFields:
        reader_.Next(JsonToken::kArrayStart);
        reader_.ReadInt();
        reader_.NextValueSeparator();
        reader_.ReadBoolean();
        reader_.Next(JsonToken::kArrayEnd);
        break;
      case JsonKeyword::kParameters:
        reply.parameters = ReadParameterItems();
        break;
      default:
        // No other member belongs in this reply.
        throw TDBXError(2, u"Unexpected member in the reply to prepare:  " + reader_.LastString());
    }
    reader_.Next(JsonToken::kObjectEnd);
    if (reader_.Next() != JsonToken::kValueSeparator) break;
  }
  reader_.SkipToEndOfObject();
  return reply;
}

UString TDBXJSonClientInputConnectionHandler::ReadVendorPropertyReply() {
  reader_.NextResultObjectStart();
  reader_.Next(JsonToken::kArrayStart);
  UString value = reader_.ReadString();
  reader_.SkipToEndOfObject();
  return value;
}

std::int32_t TDBXJSonClientInputConnectionHandler::ReadTxBeginReply() {
  return reader_.ReadIntResultObject();
}

void TDBXJSonClientInputConnectionHandler::ReadTxEndReply() {
  reader_.NextResultObjectStart();
  reader_.SkipToEndOfObject();
}

TDBXNextResultReply TDBXJSonClientInputConnectionHandler::ReadNextResultReply() {
  TDBXNextResultReply reply;
  reader_.NextResultObjectStart();
  reader_.Next(JsonToken::kArrayStart);
  reply.more = reader_.ReadBoolean();
  reader_.NextValueSeparator();
  reply.rows_affected = reader_.ReadLong();
  reader_.NextValueSeparator();
  reply.updateable = reader_.ReadBoolean();
  reader_.NextValueSeparator();
  reply.result = reader_.ReadInt();
  reader_.SkipToEndOfObject();
  return reply;
}

std::int32_t TDBXJSonClientInputConnectionHandler::ReadDataObjectStart() {
  reader_.Next(JsonToken::kNameSeparator);
  reader_.Next(JsonToken::kArrayStart);
  const std::int32_t count = reader_.ReadInt();
  if (count != 0) reader_.NextValueSeparator();
  return count;
}

void TDBXJSonClientInputConnectionHandler::ReadDataObjectEnd() {
  reader_.Next(JsonToken::kArrayEnd);
  reader_.Next(JsonToken::kObjectEnd);
}

std::int32_t TDBXJSonClientInputConnectionHandler::ReadDataObject(std::vector<std::uint8_t>* into) {
  const std::int32_t count = ReadDataObjectStart();
  const std::uint64_t bytes = DataCountBytes(count);
  if (into) {
    reader_.ReadDataBytes(*into, bytes);
  } else {
    reader_.SkipDataBytes(bytes);
  }
  ReadDataObjectEnd();
  return count;
}

bool TDBXJSonClientInputConnectionHandler::ReadMoreBlobReply(std::vector<std::uint8_t>& into) {
  reader_.NextResultObjectStart();
  reader_.Next(JsonToken::kArrayStart);
  reader_.Next(JsonToken::kObjectStart);
  if (reader_.ReadStringCode() != JsonKeyword::kData) {
    throw TDBXError(2, u"Unexpected member in the reply to more_blob:  " + reader_.LastString());
  }
  const std::int32_t count = ReadDataObject(&into);
  reader_.SkipToEndOfObject();
  return count > 0;
}

// ---- requests

TDBXJSonClientOutputConnectionHandler::TDBXJSonClientOutputConnectionHandler(
    std::unique_ptr<TDbxChannel> channel, std::int32_t buffer_size, const TDBXContext& context,
    std::uint64_t reply_limit)
    : channel_(std::move(channel)),
      buffer_size_(buffer_size),
      reply_limit_(reply_limit),
      writer_(std::make_unique<TDBXJSonStreamWriter>(*channel_, buffer_size)),
      reader_(std::make_unique<TDBXJSonStreamReader>(*channel_, buffer_size, context)),
      input_(std::make_unique<TDBXJSonClientInputConnectionHandler>(*reader_)) {
  reader_->SetReplyLimit(reply_limit_);
}

TDBXJSonClientOutputConnectionHandler::~TDBXJSonClientOutputConnectionHandler() { CloseChannel(); }

TDBXJSonStreamWriter& TDBXJSonClientOutputConnectionHandler::Writer() {
  if (!channel_) RaiseConnectionClosed();
  return *writer_;
}

TDBXJSonStreamReader& TDBXJSonClientOutputConnectionHandler::Reader() {
  if (!channel_) RaiseConnectionClosed();
  return *reader_;
}

TDBXJSonClientInputConnectionHandler& TDBXJSonClientOutputConnectionHandler::Input() {
  if (!channel_) RaiseConnectionClosed();
  return *input_;
}

void TDBXJSonClientOutputConnectionHandler::CloseChannel() {
  input_.reset();
  reader_.reset();
  writer_.reset();
  if (channel_) channel_->Close();
  channel_.reset();
}

void TDBXJSonClientOutputConnectionHandler::Begin(std::string_view method) {
  TDBXJSonStreamWriter& writer = Writer();
  writer.WriteFragment(fragment::kMethod);
  writer.WriteFragment(method);
  writer.WriteFragment(fragment::kParams);
}

void TDBXJSonClientOutputConnectionHandler::End() {
  writer_->WriteArrayEnd();
  writer_->WriteObjectEnd();
  writer_->Flush();
}

void TDBXJSonClientOutputConnectionHandler::Connect(const TDBXProperties& properties) {
  Begin(fragment::kConnect);
  writer_->WriteObjectStart();
  bool first = true;
  for (const auto& [name, value] : properties.Pairs()) {
    if (!first) writer_->WriteValueSeparator();
    first = false;
    writer_->WriteNamedString(name, value);
  }
  writer_->WriteObjectEnd();
  End();
}

void TDBXJSonClientOutputConnectionHandler::Disconnect(std::int32_t connection_handle) {
  Begin(fragment::kDisconnect);
  writer_->WriteInt(connection_handle);
  End();
}

void TDBXJSonClientOutputConnectionHandler::VendorProperty(UStringView name) {
  Begin(fragment::kVendorProperty);
  writer_->WriteString(name);
  End();
}

void TDBXJSonClientOutputConnectionHandler::TxBegin(std::int32_t isolation_level) {
  Begin(fragment::kTxBegin);
  writer_->WriteInt(isolation_level);
  End();
}

void TDBXJSonClientOutputConnectionHandler::TxEnd(bool commit, std::int32_t transaction_handle) {
  Begin(fragment::kTxEnd);
  writer_->WriteBoolean(commit);
  writer_->WriteValueSeparator();
  writer_->WriteInt(transaction_handle);
  End();
}

void TDBXJSonClientOutputConnectionHandler::WriteParameters(const TDBXParameterList& parameters) {
  TDBXJSonStreamWriter& w = *writer_;
  w.WriteFragment(fragment::kParametersObject);
  w.WriteInt(parameters.Count());
  for (std::int32_t i = 0; i < parameters.Count(); ++i) {
    const TDBXParameter& p = parameters.GetParameter(i);
    w.WriteValueSeparator();
    w.WriteArrayStart();
    w.WriteInt(p.DataType());
    w.WriteValueSeparator();
    w.WriteInt(p.SubType());
    w.WriteValueSeparator();
    w.WriteInt(p.ParameterDirection());
    w.WriteValueSeparator();
    w.WriteLong(p.Precision());
    w.WriteValueSeparator();
    w.WriteInt(p.Scale());
    w.WriteValueSeparator();
    w.WriteString(p.Name());
    w.WriteValueSeparator();
    w.WriteInt(p.ChildPosition());
    w.WriteValueSeparator();
    w.WriteLong(p.Size());
    w.WriteValueSeparator();
    w.WriteInt(p.ValueTypeFlags());
    w.WriteArrayEnd();
  }
  w.WriteArrayEnd();
  w.WriteObjectEnd();
}

void TDBXJSonClientOutputConnectionHandler::Prepare(std::int32_t command_handle,
                                                    UStringView command_type, UStringView text,
                                                    const TDBXParameterList* parameters) {
  Begin(fragment::kPrepare);
  writer_->WriteInt(command_handle);
  writer_->WriteValueSeparator();
  writer_->WriteBoolean(false);
  writer_->WriteValueSeparator();
  writer_->WriteString(command_type);
  writer_->WriteValueSeparator();
  writer_->WriteString(text);
  if (parameters && parameters->Count() > 0) {
    writer_->WriteValueSeparator();
    WriteParameters(*parameters);
  }
  End();
}

void TDBXJSonClientOutputConnectionHandler::ExecutePrepared(std::int32_t command_handle,
                                                            const TDBXParameterList* descriptions,
                                                            std::span<const std::uint8_t> row,
    std::span<const std::unique_ptr<TDBXClientInputTable>> tables) {
  Begin(fragment::kExecute);
  writer_->WriteFragment(fragment::kHandleObject);
  writer_->WriteInt(command_handle);
  writer_->WriteArrayEnd();
  writer_->WriteObjectEnd();
  if (descriptions) {
    writer_->WriteValueSeparator();
    WriteParameters(*descriptions);
  }
  if (!row.empty()) {
    writer_->WriteValueSeparator();
    writer_->WriteDataBlock(row);
  }
  for (const auto& table : tables) {
    writer_->WriteValueSeparator();
    table->WriteTable(*writer_);
  }
  End();
}

void TDBXJSonClientOutputConnectionHandler::ExecuteUnprepared(std::int32_t command_handle,
                                                              UStringView command_type,
                                                              UStringView text) {
  Begin(fragment::kExecute);
  writer_->WriteFragment(fragment::kFieldsObject);
  writer_->WriteInt(command_handle);
  writer_->WriteValueSeparator();
  writer_->WriteBoolean(false);
  writer_->WriteValueSeparator();
  writer_->WriteString(command_type);
  writer_->WriteValueSeparator();
  writer_->WriteString(text);
  writer_->WriteArrayEnd();
  writer_->WriteObjectEnd();
  End();
}

void TDBXJSonClientOutputConnectionHandler::CommandClose(std::int32_t command_handle) {
  Begin(fragment::kCommandClose);
  writer_->WriteInt(command_handle);
  End();
}

void TDBXJSonClientOutputConnectionHandler::ReaderClose(std::int32_t row_handle,
                                                        std::int32_t command_handle) {
  Begin(fragment::kReaderClose);
  writer_->WriteInt(row_handle);
  writer_->WriteValueSeparator();
  writer_->WriteInt(command_handle);
  writer_->WriteArrayEnd();
  writer_->WriteObjectEnd();
}

void TDBXJSonClientOutputConnectionHandler::Next(std::int32_t row_handle, std::int64_t position,
                                                 std::int32_t command_handle) {
  Begin(fragment::kNext);
  writer_->WriteInt(row_handle);
  writer_->WriteValueSeparator();
  writer_->WriteLong(position);
  writer_->WriteValueSeparator();
  writer_->WriteInt(command_handle);
  End();
}

void TDBXJSonClientOutputConnectionHandler::MoreBlob(const BlobKey& key) {
  Begin(fragment::kMoreBlob);
  writer_->WriteInt(key.command_handle);
  writer_->WriteValueSeparator();
  writer_->WriteInt(key.blob_handle);
  writer_->WriteValueSeparator();
  writer_->WriteLong(key.row);
  writer_->WriteValueSeparator();
  writer_->WriteInt(key.ordinal);
  writer_->WriteValueSeparator();
  writer_->WriteBoolean(key.parameter_row);
  writer_->WriteValueSeparator();
  writer_->WriteInt(key.row_handle);
  End();
}

void TDBXJSonClientOutputConnectionHandler::NextResult(std::int32_t command_handle) {
  Begin(fragment::kNextResult);
  writer_->WriteInt(command_handle);
  End();
}

void TDBXJSonClientOutputConnectionHandler::CallbackResult(std::string_view json) {
  TDBXJSonStreamWriter& writer = Writer();
  writer.WriteDataBlock(
      std::span(reinterpret_cast<const std::uint8_t*>(json.data()), json.size()));
  writer.Flush();
}

void TDBXJSonClientOutputConnectionHandler::CallbackError(UStringView class_name,
                                                          std::int32_t code, UStringView message) {
  TDBXJSonStreamWriter& writer = Writer();
  writer.WriteFragment(fragment::kErrorObject);
  writer.WriteString(class_name);
  writer.WriteValueSeparator();
  writer.WriteFragment(fragment::kErrorCode);
  writer.WriteInt(code);
  writer.WriteValueSeparator();
  writer.WriteFragment(fragment::kErrorMessage);
  writer.WriteString(message);
  writer.WriteObjectEnd();
  writer.WriteObjectEnd();
  writer.Flush();
}

}  // namespace wardenix
