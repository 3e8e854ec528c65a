#include "tests/trialserver/wire_client.h"

#include "runtime/errors.h"
#include "wire/message_fragments.h"
#include "wire/socket_channel.h"

namespace wardenix::trial::test {
namespace {

std::uint64_t magnitude(std::int64_t n) {
  return n < 0 ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
}

// `{"data":[n,bytes]}` after its "{": appends the bytes; returns n.
std::int64_t ReadDataObject(TDBXJSonStreamReader& reader, std::vector<std::uint8_t>& into) {
  if (reader.ReadStringCode() != JsonKeyword::kData) throw TDBXError(2, u"data expected");
  reader.Next(JsonToken::kNameSeparator);
  reader.Next(JsonToken::kArrayStart);
  const std::int64_t n = reader.ReadLong();
  if (reader.Next() == JsonToken::kValueSeparator) {
    reader.ReadDataBytes(into, magnitude(n));
    reader.Next(JsonToken::kArrayEnd);
  }
  reader.Next(JsonToken::kObjectEnd);
  return n;
}

std::vector<TableColumn> ReadTable(TDBXJSonStreamReader& reader) {
  std::vector<TableColumn> columns;
  reader.Next(JsonToken::kArrayStart);
  for (JsonToken t = reader.Next(); t != JsonToken::kArrayEnd; t = reader.Next()) {
    if (t == JsonToken::kValueSeparator) continue;
    const JsonKeyword member = reader.ReadStringCode();
    reader.Next(JsonToken::kNameSeparator);
    if (member != JsonKeyword::kColumns) {
      reader.SkipValue();
      reader.Next(JsonToken::kObjectEnd);
      continue;
    }
    reader.Next(JsonToken::kArrayStart);
    const std::int32_t count = reader.ReadInt();
    for (std::int32_t i = 0; i < count; ++i) {
      reader.NextValueSeparator();
      reader.Next(JsonToken::kArrayStart);
      TableColumn c;
      c.name = reader.ReadString();
      reader.NextValueSeparator();
      c.data_type = reader.ReadInt();
      reader.NextValueSeparator();
      c.sub_type = reader.ReadInt();
      reader.NextValueSeparator();
      c.precision = reader.ReadLong();
      reader.NextValueSeparator();
      c.scale = reader.ReadInt();
      reader.NextValueSeparator();
      c.size = reader.ReadInt();
      reader.NextValueSeparator();
      c.flags = reader.ReadInt();
      reader.SkipToEndOfArray();
      columns.push_back(std::move(c));
    }
    reader.Next(JsonToken::kArrayEnd);
    reader.Next(JsonToken::kObjectEnd);
  }
  reader.Next(JsonToken::kObjectEnd);
  return columns;
}

}  // namespace

int RecordingChannel::Read(std::span<std::uint8_t> into) {
  const int n = inner_.Read(into);
  if (n > 0) received_.append(reinterpret_cast<const char*>(into.data()), static_cast<std::size_t>(n));
  return n;
}

WireClient::WireClient(std::uint16_t port)
    : channel_(std::make_unique<TDBXFilterSocketChannel>(std::make_unique<TDBXSocketChannel>())),
      recorder_(*channel_),
      writer_(recorder_, kBufferSize),
      reader_(recorder_, kBufferSize, context_) {
  channel_->SetDbxProperties({{u"HostName", u"127.0.0.1"}, {u"Port", to_ustring(port)}});
  channel_->Open();
}

WireClient::~WireClient() { channel_->Close(); }

void WireClient::SendConnect(const std::vector<std::pair<UString, UString>>& properties) {
  writer_.WriteFragment(fragment::kMethod);
  writer_.WriteFragment(fragment::kConnect);
  writer_.WriteFragment(fragment::kParams);
  writer_.WriteObjectStart();
  for (std::size_t i = 0; i < properties.size(); ++i) {
    if (i > 0) writer_.WriteValueSeparator();
    writer_.WriteNamedString(properties[i].first, properties[i].second);
  }
  writer_.WriteObjectEnd();
  writer_.WriteArrayEnd();
  writer_.WriteObjectEnd();
  writer_.Flush();
}

std::int32_t WireClient::Connect(const std::vector<std::pair<UString, UString>>& properties) {
  SendConnect(properties);
  reader_.NextResultObjectStart();
  reader_.Next(JsonToken::kArrayStart);
  const std::int32_t handle = reader_.ReadInt();
  reader_.SkipToEndOfObject();
  return handle;
}

void WireClient::SendDisconnect(std::int32_t handle) {
  SendRaw("disconnect", std::to_string(handle));
}

void WireClient::SendRaw(const std::string& method, const std::string& params) {
  writer_.WriteFragment(fragment::kMethod);
  writer_.WriteFragment("\"" + method + "\",");
  writer_.WriteFragment(fragment::kParams);
  writer_.WriteFragment(params);
  writer_.WriteArrayEnd();
  writer_.WriteObjectEnd();
  writer_.Flush();
}

void WireClient::SendPrepare(UStringView type, UStringView text) {
  writer_.WriteFragment(fragment::kMethod);
  writer_.WriteFragment(fragment::kPrepare);
  writer_.WriteFragment(fragment::kParams);
  writer_.WriteInt(-1);
  writer_.WriteValueSeparator();
  writer_.WriteBoolean(false);
  writer_.WriteValueSeparator();
  writer_.WriteString(type);
  writer_.WriteValueSeparator();
  writer_.WriteString(text);
  writer_.WriteArrayEnd();
  writer_.WriteObjectEnd();
  writer_.Flush();
}

PrepareReply WireClient::ReadPrepareReply() {
  PrepareReply reply;
  reader_.NextResultObjectStart();
  reader_.Next(JsonToken::kArrayStart);
  for (JsonToken t = reader_.Next(); t != JsonToken::kArrayEnd; t = reader_.Next()) {
    if (t == JsonToken::kValueSeparator) continue;
    const JsonKeyword member = reader_.ReadStringCode();
    reader_.Next(JsonToken::kNameSeparator);
    reader_.Next(JsonToken::kArrayStart);
    if (member == JsonKeyword::kHandle) {
      reply.handle = reader_.ReadInt();
      reader_.SkipToEndOfObject();
      continue;
    }
    if (member != JsonKeyword::kParameters) throw TDBXError(2, u"unexpected member");
    const std::int32_t count = reader_.ReadInt();
    for (std::int32_t i = 0; i < count; ++i) {
      reader_.NextValueSeparator();
      reader_.Next(JsonToken::kArrayStart);
      ParameterSpec p;
      p.data_type = reader_.ReadInt();
      reader_.NextValueSeparator();
      p.sub_type = reader_.ReadInt();
      reader_.NextValueSeparator();
      p.direction = reader_.ReadInt();
      reader_.NextValueSeparator();
      p.precision = reader_.ReadLong();
      reader_.NextValueSeparator();
      p.scale = reader_.ReadInt();
      reader_.NextValueSeparator();
      p.name = reader_.ReadString();
      reader_.NextValueSeparator();
      reader_.ReadInt();  // child position
      reader_.NextValueSeparator();
      p.size = reader_.ReadInt();
      reader_.NextValueSeparator();
      p.flags = reader_.ReadInt();
      reader_.SkipToEndOfArray();
      reply.parameters.push_back(std::move(p));
    }
    reader_.SkipToEndOfObject();
  }
  reader_.SkipToEndOfObject();
  return reply;
}

PrepareReply WireClient::Prepare(UStringView type, UStringView text) {
  SendPrepare(type, text);
  return ReadPrepareReply();
}

void WireClient::SendExecute(std::int32_t handle, std::span<const std::uint8_t> row) {
  writer_.WriteFragment(fragment::kMethod);
  writer_.WriteFragment(fragment::kExecute);
  writer_.WriteFragment(fragment::kParams);
  writer_.WriteFragment(fragment::kHandleObject);
  writer_.WriteInt(handle);
  writer_.WriteArrayEnd();
  writer_.WriteObjectEnd();
  if (!row.empty()) {
    writer_.WriteValueSeparator();
    writer_.WriteDataBlock(row);
  }
  writer_.WriteArrayEnd();
  writer_.WriteObjectEnd();
  writer_.Flush();
}

void WireClient::SendUnpreparedExecute(UStringView type, UStringView text) {
  writer_.WriteFragment(fragment::kMethod);
  writer_.WriteFragment(fragment::kExecute);
  writer_.WriteFragment(fragment::kParams);
  writer_.WriteFragment(fragment::kFieldsObject);
  writer_.WriteInt(-1);
  writer_.WriteValueSeparator();
  writer_.WriteBoolean(false);
  writer_.WriteValueSeparator();
  writer_.WriteString(type);
  writer_.WriteValueSeparator();
  writer_.WriteString(text);
  writer_.WriteArrayEnd();
  writer_.WriteObjectEnd();
  writer_.WriteArrayEnd();
  writer_.WriteObjectEnd();
  writer_.Flush();
}

ExecuteReply WireClient::ReadExecuteReply() {
  ExecuteReply reply;
  reader_.NextResultObjectStart();
  reader_.Next(JsonToken::kArrayStart);
  bool table = false;
  for (JsonToken t = reader_.Next(); t != JsonToken::kArrayEnd; t = reader_.Next()) {
    if (t == JsonToken::kValueSeparator) continue;
    const JsonKeyword member = reader_.ReadStringCode();
    reader_.Next(JsonToken::kNameSeparator);
    if (member == JsonKeyword::kHandle) {
      reader_.Next(JsonToken::kArrayStart);
      reply.handle = reader_.ReadInt();
      reader_.SkipToEndOfObject();
    } else if (member == JsonKeyword::kData) {
      reader_.Next(JsonToken::kArrayStart);
      const std::int64_t n = reader_.ReadLong();
      reader_.NextValueSeparator();
      reader_.ReadDataBytes(reply.row, magnitude(n));
      reader_.Next(JsonToken::kArrayEnd);
      reader_.Next(JsonToken::kObjectEnd);
    } else if (member == JsonKeyword::kTable) {
      reply.columns = ReadTable(reader_);
      table = true;
    } else {
      reader_.SkipToEndOfObject();
    }
  }
  if (table) {
    reader_.Next(JsonToken::kObjectStart);
    ReadDataObject(reader_, reply.table_rows);
  }
  reader_.Next(JsonToken::kObjectEnd);
  return reply;
}

bool WireClient::PullReplyChunk(const BlobKey& key, std::vector<std::uint8_t>& into) {
  writer_.WriteFragment(fragment::kMethod);
  writer_.WriteFragment(fragment::kMoreBlob);
  writer_.WriteFragment(fragment::kParams);
  writer_.WriteInt(key.command_handle);
  writer_.WriteValueSeparator();
  writer_.WriteInt(key.blob_handle);
  writer_.WriteValueSeparator();
  writer_.WriteLong(key.row);
  writer_.WriteValueSeparator();
  writer_.WriteInt(key.ordinal);
  writer_.WriteValueSeparator();
  writer_.WriteBoolean(key.parameter_row);
  writer_.WriteValueSeparator();
  writer_.WriteInt(key.row_handle);
  writer_.WriteArrayEnd();
  writer_.WriteObjectEnd();
  writer_.Flush();
  reader_.NextResultObjectStart();
  reader_.Next(JsonToken::kArrayStart);
  reader_.Next(JsonToken::kObjectStart);
  const std::int64_t n = ReadDataObject(reader_, into);
  reader_.SkipToEndOfObject();
  return n > 0;
}

void WireClient::LoadReplyRow(TDBXRowBuffer& row, std::int32_t handle, const ExecuteReply& reply) {
  row.LoadRow(reply.row);
  row.SetCommandHandle(handle);
  row.SetBlobRequest(
      [this](const BlobKey& key, std::vector<std::uint8_t>& into) { return PullReplyChunk(key, into); });
}

TDBXRowBuffer ClientRow() { return TDBXRowBuffer(WireClient::kBufferSize, true, true); }

}  // namespace wardenix::trial::test
