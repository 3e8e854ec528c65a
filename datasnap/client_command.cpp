#include "datasnap/client_command.h"

#include "datasnap/callback_request.h"
#include "datasnap/client_table_reader.h"
#include "dbx/data_types.h"
#include "dbx/dbx_connection.h"
#include "dbx/values.h"
#include "runtime/errors.h"

namespace wardenix {

using namespace TDBXParameterDirections;

namespace {

bool is_input(std::int32_t direction) {
  return direction != OutParameter && direction != ReturnParameter;
}

// A table member's value from its "[" and the first rows in the "data"
// object that follows it.
void read_first_rows(TDBXJSonClientOutputConnectionHandler& wire, TDBXClientTableReader& table) {
  TDBXJSonStreamReader& reader = wire.Reader();
  JsonToken token = reader.Next();
  if (token == JsonToken::kValueSeparator) token = reader.Next();
  if (token != JsonToken::kObjectStart || reader.ReadStringCode() != JsonKeyword::kData) {
    throw TDBXError(2, u"The rows of a table were expected");
  }
  table.ReadBlock(wire.Input());
}

}  // namespace

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
  FActiveTables.clear();
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
  Context()->PhaseDone(ConnectionPhase::Prepare);
}

void TDBXClientCommand::DerivedClearParameters() {
  FActiveTables.clear();
  if (TDBXClientParameterRow* row = ParameterRow()) row->Reset(FCommandHandle);
}

std::unique_ptr<TDBXReader> TDBXClientCommand::DerivedGetNextReader() {
  if (FCommandHandle <= 0) return nullptr;
  TDBXJSonClientOutputConnectionHandler& wire = Wire();
  wire.NextResult(FCommandHandle);
  const TDBXNextResultReply reply = wire.Input().ReadNextResultReply();
  FRowsAffected = reply.rows_affected;
  FUpdateable = reply.updateable;
  if (!reply.HasTable()) return nullptr;
  TDBXJSonStreamReader& reader = wire.Reader();
  reader.Next(JsonToken::kObjectStart);
  reader.ReadStringCode();  // the member's name says nothing more
  reader.Next(JsonToken::kNameSeparator);
  auto table = std::make_unique<TDBXClientTableReader>(FWire, ReadTableMetadata(reader), Context());
  read_first_rows(wire, *table);
  return table;
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
    FActiveTables.clear();
    if (row) {
      std::int32_t row_handle = 0;
      for (TDBXReader* table : row->InputTables()) {
        FActiveTables.push_back(std::make_unique<TDBXClientInputTable>(
            *table, ++row_handle, FCommandHandle, FWire->BufferSize()));
      }
    }
    wire.ExecutePrepared(FCommandHandle, has_parameters && FParameterTypeChange ? list : nullptr,
                         row ? row->Written() : std::span<const std::uint8_t>(), FActiveTables);
    if (row) row->KeepSentValues();
  } else {
    wire.ExecuteUnprepared(FCommandHandle, GetCommandType(), GetText());
  }
  auto result = ReadExecuteReply();
  FParameterTypeChange = false;
  return result;
}

std::int32_t TDBXClientCommand::InputTableParameterCount() const {
  const TDBXParameterList* list = ParameterList();
  std::int32_t count = 0;
  for (std::int32_t i = 0; list && i < list->Count(); ++i) {
    const TDBXParameter& p = list->GetParameter(i);
    if (p.DataType() == TDBXDataTypes::TableType && is_input(p.ParameterDirection())) ++count;
  }
  return count;
}

std::vector<std::int32_t> TDBXClientCommand::TableSlots() const {
  std::vector<std::int32_t> slots;
  const TDBXParameterList* list = ParameterList();
  if (!ParameterRow()) return slots;
  for (std::int32_t i = 0; list && i < list->Count(); ++i) {
    const TDBXParameter& p = list->GetParameter(i);
    const std::int32_t direction = p.ParameterDirection();
    const bool output =
        direction == OutParameter || direction == InOutParameter || direction == ReturnParameter;
    if (p.DataType() == TDBXDataTypes::TableType && output) slots.push_back(i);
  }
  return slots;
}

void TDBXClientCommand::AnswerNext() {
  TDBXJSonStreamReader& reader = FWire->Reader();
  reader.Next(JsonToken::kNameSeparator);
  reader.Next(JsonToken::kArrayStart);
  const std::int32_t row_handle = reader.ReadInt();
  reader.NextValueSeparator();
  reader.ReadLong();  // position: the table goes on where its last block ended
  reader.NextValueSeparator();
  reader.ReadInt();  // command handle
  reader.Next(JsonToken::kArrayEnd);
  reader.Next(JsonToken::kObjectEnd);
  for (const auto& table : FActiveTables) {
    if (table->RowHandle() == row_handle) {
      table->WriteNextBlock(FWire->Writer());
      return;
    }
  }
  throw TDBXError(2, u"No input table has the row handle " + to_ustring(row_handle));
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
  const std::int32_t row_handle = reader.ReadInt();
  reader.Next(JsonToken::kArrayEnd);
  reader.Next(JsonToken::kObjectEnd);
  // Row handle k names the k-th input table while the command has that
  // many; any other names the parameter row.
  ByteSource* rest = nullptr;
  if (row_handle >= 1 && row_handle <= InputTableParameterCount()) {
    const auto k = static_cast<std::size_t>(row_handle);
    if (k <= FActiveTables.size()) rest = FActiveTables[k - 1]->Remainder(ordinal);
  } else if (TDBXClientParameterRow* row = ParameterRow()) {
    rest = row->Remainder(ordinal);
  }
  MemoryByteSource nothing({});
  FWire->Writer().WriteStreamChunk(rest ? *rest : nothing);
}

void TDBXClientCommand::AnswerCallback() {
  TDBXJSonStreamReader& reader = FWire->Reader();
  reader.Next(JsonToken::kNameSeparator);
  reader.Next(JsonToken::kArrayStart);
  const std::int64_t size = reader.ReadLong();
  std::vector<std::uint8_t> bytes;
  if (reader.Next() == JsonToken::kValueSeparator) {
    reader.ReadDataBytes(bytes, DataCountBytes(size));
    reader.Next(JsonToken::kArrayEnd);
  }
  reader.Next(JsonToken::kObjectEnd);

  const auto request = ParseCallbackRequest(std::string_view(
      reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  if (!request) {
    throw TDBXError(32,
                    u"Callback input argument cannot be parsed properly. This is due to a parser "
                    u"error or the server side-serialization");
  }
  TDBXParameterList* list = ParameterList();
  std::shared_ptr<TDBXCallback> callback;
  if (list && request->ordinal >= 0 && request->ordinal < list->Count()) {
    TDBXParameter& parameter = list->GetParameter(request->ordinal);
    if (parameter.DataType() == TDBXDataTypes::CallbackType) {
      callback = parameter.Value().GetCallbackValue();
    }
  }
  if (!callback) throw TDBXError(32, u"A callback parameter cannot be found at the provided index");

  std::optional<std::string> result;
  try {
    result = callback->Execute(request->argument);
  } catch (const Exception& failure) {
    FWire->CallbackError(from_utf8(failure.ClassName()), 0, failure.Message());
    return;
  } catch (const std::exception& failure) {
    FWire->CallbackError(u"Exception", 0, from_utf8(failure.what()));
    return;
  }
  FWire->CallbackResult(result ? *result : "null");
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
        AnswerNext();
        break;
      case JsonKeyword::kCallback:
        AnswerCallback();
        break;
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
  for (const auto& table : tables) read_first_rows(wire, *table);
  reader.SkipToEndOfObject();

  if (row) row->SetCommandHandle(FCommandHandle);
  if (outputs_without_row) throw TDBXError(30, u"Commands with output values must be prepared");
  if (tables.empty()) return nullptr;
  const std::vector<std::int32_t> slots = TableSlots();
  if (slots.empty()) return std::move(tables.front());
  if (tables.size() > slots.size()) throw TDBXError(30, u"Command needs more DBXReader parameters");
  TDBXReader& first = *tables.front();
  for (std::size_t i = 0; i < tables.size(); ++i) row->AttachTable(slots[i], std::move(tables[i]));
  return std::make_unique<TDBXBorrowedReader>(first);
}

}  // namespace wardenix
