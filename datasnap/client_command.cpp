#include "datasnap/client_command.h"

#include "datasnap/client_table_reader.h"
#include "dbx/data_types.h"
#include "dbx/dbx_connection.h"
#include "runtime/errors.h"

namespace wardenix {

using namespace TDBXParameterDirections;

TDBXClientCommand::TDBXClientCommand(std::shared_ptr<TDBXJSonClientOutputConnectionHandler> wire,
                                     TDBXConnection& connection, std::int32_t connection_handle)
    : TDBXCommand(&connection.Context()),
      FWire(std::move(wire)),
      FConnection(&connection),
      FConnectionHandle(connection_handle) {}

TDBXClientCommand::~TDBXClientCommand() {
  try {
    Close();
  } catch (...) {
    // Freeing goes on when the server cannot be told.
  }
}

TDBXJSonClientOutputConnectionHandler& TDBXClientCommand::Wire() {
  if (!FWire->IsOpen()) RaiseConnectionClosed();
  return *FWire;
}

void TDBXClientCommand::SetText(UStringView value) {
  TDBXCommand::SetText(value.substr(0, value.find(u'\0')));
}

std::unique_ptr<TDBXRow> TDBXClientCommand::CreateParameterRow() {
  auto row = std::make_unique<TDBXClientParameterRow>(FWire->BufferSize(),
                                                      [this] { FParameterTypeChange = true; });
  row->SetContext(Context());
  row->SetReplyLimit(FWire->ReplyLimit());
  row->SetCommandHandle(FCommandHandle);
  std::weak_ptr<TDBXJSonClientOutputConnectionHandler> weak = FWire;
  row->SetBlobRequest([weak](const BlobKey& key, std::vector<std::uint8_t>& into) {
    const auto wire = weak.lock();
    if (!wire) RaiseConnectionClosed();
    wire->MoreBlob(key);
    return wire->Input().ReadMoreBlobReply(into);
  });
  return row;
}

TDBXClientParameterRow* TDBXClientCommand::ParameterRow() const {
  TDBXParameterList* list = ParameterList();
  return list ? dynamic_cast<TDBXClientParameterRow*>(list->ParameterRow()) : nullptr;
}

void TDBXClientCommand::MarkConnectionClosed() {
  TDBXCommand::MarkConnectionClosed();
  FConnection = nullptr;
}

void TDBXClientCommand::DerivedClose() {
  if (FCommandHandle >= 0 && FWire->IsOpen()) FWire->CommandClose(FCommandHandle);
}

void TDBXClientCommand::StoreParameters(const std::vector<TDBXWireValueType>& descriptions) {
  TDBXParameterList& list = GetParameters();
  list.SetCount(static_cast<std::int32_t>(descriptions.size()));
  for (std::size_t i = 0; i < descriptions.size(); ++i) {
    const TDBXWireValueType& d = descriptions[i];
    auto parameter = std::make_unique<TDBXParameter>(Context());
    parameter->SetDataType(d.data_type);
    parameter->SetSubType(d.sub_type);
    parameter->SetParameterDirection(d.direction);
    parameter->SetPrecision(d.precision);
    parameter->SetScale(d.scale);
    parameter->SetName(d.name);
    parameter->SetChildPosition(d.child_position);
    parameter->SetSize(d.size);
    parameter->SetValueTypeFlags(d.flags);
    const auto ordinal = static_cast<std::int32_t>(i);
    list.SetParameter(ordinal, std::move(parameter));
    list.GetParameter(ordinal).Value();
  }
  FParameterTypeChange = false;
}

void TDBXClientCommand::DerivedPrepare() {
  TDBXJSonClientOutputConnectionHandler& wire = Wire();
  TDBXParameterList* list = ParameterList();
  const bool had_parameters = list && list->Count() > 0;
  wire.Prepare(FCommandHandle, GetCommandType(), GetText(), list);
  const TDBXPrepareReply reply = wire.Input().ReadPrepareReply();
  if (reply.handle) FCommandHandle = *reply.handle;
  // A list the caller filled stands; the server's descriptions are dropped.
  if (reply.parameters && !had_parameters) StoreParameters(*reply.parameters);
  if (TDBXClientParameterRow* row = ParameterRow()) row->SetCommandHandle(FCommandHandle);
}

void TDBXClientCommand::DerivedClearParameters() {
  if (TDBXClientParameterRow* row = ParameterRow()) row->Reset(FCommandHandle);
}

std::unique_ptr<TDBXReader> TDBXClientCommand::DerivedExecuteQuery() { return Execute(); }

void TDBXClientCommand::DerivedExecuteUpdate() { Execute(); }

bool TDBXClientCommand::HasOutputValues() const {
  const TDBXParameterList* list = ParameterList();
  if (!list) return false;
  for (std::int32_t i = 0; i < list->Count(); ++i) {
    const TDBXParameter& p = list->GetParameter(i);
    if (p.ParameterDirection() == OutParameter) return true;
    if (p.ParameterDirection() == ReturnParameter && p.DataType() != TDBXDataTypes::TableType) {
      return true;
    }
  }
  return false;
}

std::unique_ptr<TDBXReader> TDBXClientCommand::Execute() {
  TDBXJSonClientOutputConnectionHandler& wire = Wire();
  TDBXParameterList* list = ParameterList();
  const bool has_parameters = list && list->Count() > 0;
  if (IsPrepared()) {
    TDBXClientParameterRow* row = ParameterRow();
    wire.ExecutePrepared(FCommandHandle, has_parameters && FParameterTypeChange ? list : nullptr,
                         row ? row->Written() : std::span<const std::uint8_t>());
    if (row) row->KeepSentValues();
  } else {
    wire.ExecuteUnprepared(FCommandHandle, GetCommandType(), GetText());
  }
  auto result = ReadExecuteReply();
  FParameterTypeChange = false;
  return result;
}

void TDBXClientCommand::AnswerMoreBlob() {
  TDBXJSonStreamReader& reader = FWire->Reader();
  reader.Next(JsonToken::kNameSeparator);
  reader.Next(JsonToken::kArrayStart);
  reader.ReadInt();  // command handle
  reader.NextValueSeparator();
  reader.ReadInt();  // blob handle
  reader.NextValueSeparator();
  reader.ReadLong();  // row
  reader.NextValueSeparator();
  const std::int32_t ordinal = reader.ReadInt();
  reader.NextValueSeparator();
  reader.ReadInt();  // row handle: 0 for the parameter row, which is all this client sends
  reader.Next(JsonToken::kArrayEnd);
  reader.Next(JsonToken::kObjectEnd);
  TDBXClientParameterRow* row = ParameterRow();
  ByteSource* rest = row ? row->Remainder(ordinal) : nullptr;
  MemoryByteSource nothing({});
  FWire->Writer().WriteStreamChunk(rest ? *rest : nothing);
}

std::unique_ptr<TDBXReader> TDBXClientCommand::ReadExecuteReply() {
  TDBXJSonClientOutputConnectionHandler& wire = *FWire;
  TDBXJSonStreamReader& reader = wire.Reader();

  // The server's own requests come first, each answered at once.
  for (;;) {
    const JsonKeyword member = reader.NextMessageStart();
    if (member == JsonKeyword::kResult) break;
    switch (member) {
      case JsonKeyword::kError:
        reader.ReadErrorBody();
      case JsonKeyword::kMoreBlob:
        AnswerMoreBlob();
        break;
      case JsonKeyword::kNext:
        // Only input tables are asked for rows, and this client sends none.
        throw TDBXError(27, u"Feature not implemented");
      case JsonKeyword::kCallback:
        throw TDBXError(32, u"A callback parameter cannot be found at the provided index");
      default:
        throw TDBXError(2, u"Unexpected member in the reply to execute:  " + reader.LastString());
    }
  }
  reader.Next(JsonToken::kNameSeparator);
  reader.Next(JsonToken::kArrayStart);

  TDBXClientParameterRow* row = ParameterRow();
  std::vector<std::unique_ptr<TDBXClientTableReader>> tables;
  bool outputs_without_row = false;
  JsonToken token = reader.Next();
  while (token == JsonToken::kObjectStart) {
    const JsonKeyword member = reader.ReadStringCode();
    reader.Next(JsonToken::kNameSeparator);
    bool object_ended = false;
    switch (member) {
      case JsonKeyword::kRows:
        reader.Next(JsonToken::kArrayStart);
        FRowsAffected = reader.ReadLong();
        reader.Next(JsonToken::kArrayEnd);
        break;
      case JsonKeyword::kTable: {
        TDBXWireTable table = ReadTableMetadata(reader);
        FUpdateable = table.updateable;
        tables.push_back(std::make_unique<TDBXClientTableReader>(FWire, std::move(table), Context()));
        object_ended = true;
        break;
      }
      case JsonKeyword::kSession: {
        reader.Next(JsonToken::kArrayStart);
        reader.ReadBoolean();
        reader.NextValueSeparator();
        const std::int32_t isolation_level = reader.ReadInt();
        reader.NextValueSeparator();
        reader.ReadString();
        reader.Next(JsonToken::kArrayEnd);
        if (isolation_level >= 0 && FConnection) FConnection->SetIsolationLevel(isolation_level);
        break;
      }
      case JsonKeyword::kData: {
        reader.Next(JsonToken::kArrayStart);
        const std::int64_t count = reader.ReadLong();
        const std::uint64_t size = DataCountBytes(count);
        if (count != 0) reader.NextValueSeparator();
        if (row) {
          row->LoadReply(reader, size);
        } else {
          reader.SkipDataBytes(size);
          outputs_without_row = outputs_without_row || HasOutputValues();
        }
        reader.Next(JsonToken::kArrayEnd);
        break;
      }
      case JsonKeyword::kHandle:
        reader.Next(JsonToken::kArrayStart);
        FCommandHandle = reader.ReadInt();
        reader.Next(JsonToken::kArrayEnd);
        break;
      case JsonKeyword::kParameters: {
        const auto descriptions = wire.Input().ReadParameterItems();
        const TDBXParameterList* list = ParameterList();
        if (!list || list->Count() == 0) StoreParameters(descriptions);
        break;
      }
      default:
        reader.SkipToEndOfObject();
        object_ended = true;
    }
    if (!object_ended) reader.Next(JsonToken::kObjectEnd);
    token = reader.Next();
    if (token != JsonToken::kValueSeparator) break;
    token = reader.Next();
  }
  if (token != JsonToken::kArrayEnd) {
    throw TDBXError(2, u"Expected:  ']' found:  '" + UString(TokenName(token)) + u"'");
  }

  // The first rows of each table follow the result array.
  for (const auto& table : tables) {
    token = reader.Next();
    if (token == JsonToken::kValueSeparator) token = reader.Next();
    if (token != JsonToken::kObjectStart || reader.ReadStringCode() != JsonKeyword::kData) {
      throw TDBXError(2, u"The rows of a table were expected");
    }
    table->ReadBlock(wire.Input());
  }
  reader.SkipToEndOfObject();

  if (row) row->SetCommandHandle(FCommandHandle);
  if (outputs_without_row) throw TDBXError(30, u"Commands with output values must be prepared");
  if (tables.empty()) return nullptr;
  return std::move(tables.front());
}

}  // namespace wardenix
