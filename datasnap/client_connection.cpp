#include "datasnap/client_connection.h"

#include "datasnap/client_command.h"
#include "dbx/command.h"
#include "dbx/data_types.h"
#include "runtime/errors.h"
#include "wire/filter_channel.h"

namespace wardenix {
namespace {

using namespace TDBXDataTypes;

// Metadata columns read by their data type, so that a server may describe
// a flag as an integer or a text as an 8-bit one.
TDBXValue& column(TDBXReader& reader, UStringView name) {
  const std::int32_t ordinal = reader.GetOrdinal(name);
  if (ordinal < 0) throw TDBXError(0, u"Missing metadata column:  " + UString(name));
  return reader.Value(ordinal);
}

UString text_of(TDBXReader& reader, UStringView name) {
  TDBXValue& value = column(reader, name);
  return value.ValueType().DataType() == AnsiStringType ||
                 IsAnsiMemo(value.ValueType().DataType(), value.ValueType().SubType())
             ? value.GetAnsiString()
             : value.GetWideString();
}

std::int64_t integer_of(TDBXValue& value) {
  switch (value.ValueType().DataType()) {
    case Int8Type: return value.GetInt8();
    case UInt8Type: return value.GetUInt8();
    case Int16Type: return value.GetInt16();
    case Int64Type: return value.GetInt64();
    default: return value.GetInt32();
  }
}

std::int32_t int_of(TDBXReader& reader, UStringView name) {
  return static_cast<std::int32_t>(integer_of(column(reader, name)));
}

bool bool_of(TDBXReader& reader, UStringView name) {
  TDBXValue& value = column(reader, name);
  if (value.ValueType().DataType() == BooleanType) return value.GetBoolean();
  return integer_of(value) != 0;
}

}  // namespace

std::int32_t MessageBufferSize(const TDBXProperties& properties) {
  constexpr std::int32_t kDefaultKB = 32;
  // Beyond this a size would not fit the 32-bit counts of the stream.
  constexpr std::int32_t kLargestKB = 1024 * 1024;
  std::int32_t kb = properties.GetInteger(u"BufferKBSize", kDefaultKB);
  if (kb <= 0) kb = kDefaultKB;
  if (kb > kLargestKB) kb = kLargestKB;
  return kb * 1024;
}

TDBXClientConnection::TDBXClientConnection(TDBXProperties properties)
    : properties_(std::move(properties)) {}

TDBXClientConnection::~TDBXClientConnection() {
  try {
    Close();
  } catch (...) {
    // Nothing is left to tell of a connection that could not say goodbye.
  }
}

TDBXJSonClientOutputConnectionHandler& TDBXClientConnection::Wire() {
  if (!wire_ || !wire_->IsOpen()) RaiseConnectionClosed();
  return *wire_;
}

void TDBXClientConnection::Open(std::shared_ptr<AbortSwitch> abort) {
  Close();
  try {
    auto channel = MakeDriverChannel(properties_.GetValue(u"DriverName"));
    channel->SetDbxProperties(properties_);
    if (abort) channel->SetAbortHandle(std::move(abort));
    if (Context().IsObservingPhases()) {
      channel->SetOnHandshakeDone([this] { Context().PhaseDone(ConnectionPhase::Handshake); });
    }
    channel->Open();
    Context().PhaseDone(ConnectionPhase::TcpConnect);
    const std::int32_t buffer_size = MessageBufferSize(properties_);
    wire_ = std::make_shared<TDBXJSonClientOutputConnectionHandler>(std::move(channel), buffer_size,
                                                                    Context(), reply_limit_);
    wire_->Connect(properties_);
    const TDBXConnectReply reply = wire_->Input().ReadConnectReply();
    handle_ = reply.handle;
    product_name_ = reply.product_name;
    protocol_version_ = reply.protocol_version;
    Context().PhaseDone(ConnectionPhase::ConnectMessage);
  } catch (...) {
    try {
      Close();
    } catch (...) {
      // The failure of the open is the one the caller hears of.
    }
    throw;
  }
}

void TDBXClientConnection::Close() {
  CloseCommands();
  if (!wire_) return;
  const std::shared_ptr<TDBXJSonClientOutputConnectionHandler> wire = std::move(wire_);
  const std::int32_t handle = handle_;
  handle_ = -1;
  struct CloseChannelAtEnd {
    TDBXJSonClientOutputConnectionHandler& wire;
    ~CloseChannelAtEnd() { wire.CloseChannel(); }
  } closing{*wire};
  if (handle >= 0 && wire->IsOpen()) {
    wire->Disconnect(handle);
    try {
      wire->Writer().Flush();
    } catch (...) {
      // The message has left; the second flush only makes sure of it.
    }
  }
}

std::unique_ptr<TDBXCommand> TDBXClientConnection::CreateDriverCommand(UStringView) {
  Wire();
  return std::make_unique<TDBXClientCommand>(wire_, *this, handle_);
}

DatabaseMetaData TDBXClientConnection::ReadDatabaseMetaData() {
  DatabaseMetaData metadata;
  const auto command = CreateCommand();
  command->SetCommandType(u"Dbx.MetaData");
  command->SetText(u"GetDatabase");
  TDBXReader* reader = command->ExecuteQuery();
  if (!reader || !reader->Next()) throw TDBXError(10, u"");
  metadata.QuoteChar = text_of(*reader, u"QuoteChar");
  metadata.ProcedureQuoteChar = text_of(*reader, u"ProcedureQuoteChar");
  metadata.MaxCommands = int_of(*reader, u"MaxCommands");
  metadata.SupportsTransactions = bool_of(*reader, u"SupportsTransactions");
  metadata.SupportsNestedTransactions = bool_of(*reader, u"SupportsNestedTransactions");
  metadata.SupportsRowSetSize = bool_of(*reader, u"SupportsRowSetSize");
  if (reader->ColumnCount() > 9) {
    metadata.QuotePrefix = text_of(*reader, u"QuotePrefix");
    metadata.QuoteSuffix = text_of(*reader, u"QuoteSuffix");
    metadata.SupportsLowerCaseIdentifiers = bool_of(*reader, u"SupportsLowerCaseIdentifiers");
    metadata.SupportsUpperCaseIdentifiers = bool_of(*reader, u"SupportsUpperCaseIdentifiers");
    metadata.SupportsSPReturnCode = bool_of(*reader, u"SupportsSPReturnCode");
  }
  SetMetaData(metadata);
  Context().PhaseDone(ConnectionPhase::Metadata);
  return metadata;
}

UString TDBXClientConnection::GetVendorProperty(UStringView name) {
  // Servers before protocol version 2 know no vendor properties.
  if (protocol_version_ < 2) return {};
  if (vendor_properties_.HasName(name)) return vendor_properties_.GetValue(name);
  TDBXJSonClientOutputConnectionHandler& wire = Wire();
  wire.VendorProperty(name);
  UString value = wire.Input().ReadVendorPropertyReply();
  vendor_properties_.SetValue(name, value);
  return value;
}

std::vector<UString> TDBXClientConnection::GetCommandTypes() const {
  return {UString(kServerMethodCommandType)};
}

std::vector<UString> TDBXClientConnection::GetCommands(UStringView command_type) {
  std::vector<UString> names;
  if (command_type != kServerMethodCommandType) return names;
  const auto command = CreateCommand();
  command->SetCommandType(kServerMethodCommandType);
  command->SetText(u"DSAdmin.GetServerMethods");
  TDBXReader* reader = command->ExecuteQuery();
  if (!reader) return names;
  while (reader->Next()) names.push_back(text_of(*reader, u"MethodAlias"));
  return names;
}

TDBXClientConnection::Transaction TDBXClientConnection::BeginTransaction(
    std::int32_t isolation_level) {
  TDBXJSonClientOutputConnectionHandler& wire = Wire();
  wire.TxBegin(isolation_level);
  return Transaction{wire.Input().ReadTxBeginReply(), isolation_level};
}

void TDBXClientConnection::Commit(const Transaction& transaction) {
  TDBXJSonClientOutputConnectionHandler& wire = Wire();
  wire.TxEnd(true, transaction.handle);
  wire.Input().ReadTxEndReply();
}

void TDBXClientConnection::Rollback(const Transaction& transaction) {
  TDBXJSonClientOutputConnectionHandler& wire = Wire();
  wire.TxEnd(false, transaction.handle);
  wire.Input().ReadTxEndReply();
}

}  // namespace wardenix
