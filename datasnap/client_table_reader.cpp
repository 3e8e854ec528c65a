#include "datasnap/client_table_reader.h"

#include "dbx/data_types.h"
#include "runtime/errors.h"

namespace wardenix {
namespace {

// Column flags of a server that does not send them in the model's form.
std::int32_t translate_flags(std::int32_t wire) {
  std::int32_t flags = TDBXValueTypeFlags::FromServer;
  if (wire & 0x01) flags |= 0x02;
  if (wire & 0x02) flags |= 0x04;
  if (wire & 0x08) flags |= 0x01;
  if (wire & 0x40) flags |= 0x08;
  return flags;
}

TDBXWireValueType read_column(TDBXJSonStreamReader& reader, bool model_flags) {
  TDBXWireValueType column;
  reader.Next(JsonToken::kArrayStart);
  column.name = reader.ReadString();
  reader.NextValueSeparator();
  column.data_type = reader.ReadInt();
  reader.NextValueSeparator();
  column.sub_type = reader.ReadInt();
  reader.NextValueSeparator();
  column.precision = reader.ReadLong();
  reader.NextValueSeparator();
  column.scale = reader.ReadInt();
  reader.NextValueSeparator();
  column.size = reader.ReadLong();
  reader.NextValueSeparator();
  const std::int32_t flags = reader.ReadInt();
  column.flags = model_flags ? flags : translate_flags(flags);
  if (reader.Next() == JsonToken::kValueSeparator) {
    column.direction = reader.ReadInt();
    reader.Next(JsonToken::kArrayEnd);
  }
  return column;
}

}  // namespace

TDBXWireTable ReadTableMetadata(TDBXJSonStreamReader& reader) {
  TDBXWireTable table;
  bool model_flags = false;
  reader.Next(JsonToken::kArrayStart);
  for (;;) {
    reader.Next(JsonToken::kObjectStart);
    const JsonKeyword member = reader.ReadStringCode();
    reader.Next(JsonToken::kNameSeparator);
    reader.Next(JsonToken::kArrayStart);
    if (member == JsonKeyword::kFields) {
      table.command_handle = reader.ReadInt();
      reader.NextValueSeparator();
      table.updateable = reader.ReadBoolean();
      if (reader.Next() == JsonToken::kValueSeparator) {
        table.row_handle = reader.ReadInt();
        if (reader.Next() == JsonToken::kValueSeparator) {
          table.bcd_format = reader.ReadInt();
          if (reader.Next() == JsonToken::kValueSeparator) {
            model_flags = reader.ReadBoolean();
            reader.Next(JsonToken::kArrayEnd);
          }
        }
      }
    } else if (member == JsonKeyword::kColumns) {
      const std::int32_t count = reader.ReadInt();
      for (std::int32_t i = 0; i < count; ++i) {
        reader.NextValueSeparator();
        table.columns.push_back(read_column(reader, model_flags));
      }
      reader.Next(JsonToken::kArrayEnd);
    } else {
      reader.SkipToEndOfArray();
    }
    reader.Next(JsonToken::kObjectEnd);
    if (reader.Next() != JsonToken::kValueSeparator) break;  // the "]" of the table
  }
  reader.Next(JsonToken::kObjectEnd);
  return table;
}

TDBXClientTableReader::TDBXClientTableReader(
    std::shared_ptr<TDBXJSonClientOutputConnectionHandler> wire, TDBXWireTable table,
    const TDBXContext* context)
    : wire_(std::move(wire)),
      table_(std::move(table)),
      buffer_(wire_->BufferSize(), true, false),
      row_(buffer_) {
  buffer_.SetContext(context);
  buffer_.SetReplyLimit(wire_->ReplyLimit());
  buffer_.SetCommandHandle(table_.command_handle);
  buffer_.SetRowHandle(table_.row_handle);
  buffer_.SetColumnCount(static_cast<std::int32_t>(table_.columns.size()));
  row_.SetBinaryBcd(table_.bcd_format == 1);
  std::weak_ptr<TDBXJSonClientOutputConnectionHandler> weak = wire_;
  buffer_.SetBlobRequest([weak](const BlobKey& key, std::vector<std::uint8_t>& into) {
    const auto shared = weak.lock();
    if (!shared) RaiseConnectionClosed();
    shared->MoreBlob(key);
    return shared->Input().ReadMoreBlobReply(into);
  });
  std::int32_t ordinal = 0;
  for (const TDBXWireValueType& column : table_.columns) {
    auto type = std::make_unique<TDBXValueType>(context);
    type->SetName(column.name);
    type->SetOrdinal(ordinal++);
    type->SetDataType(column.data_type);
    type->SetSubType(column.sub_type);
    type->SetPrecision(column.precision);
    type->SetScale(column.scale);
    type->SetSize(column.size);
    type->SetValueTypeFlags(column.flags);
    type->SetParameterDirection(column.direction);
    type->SetRow(&row_);
    type->SetModified(false);
    columns_.push_back(std::move(type));
  }
  values_.resize(columns_.size());
}

TDBXClientTableReader::~TDBXClientTableReader() {
  try {
    if (wire_->IsOpen()) wire_->ReaderClose(table_.row_handle, table_.command_handle);
  } catch (...) {
    // A request that cannot be written now will not be needed by the server.
  }
}

void TDBXClientTableReader::ReadBlock(TDBXJSonClientInputConnectionHandler& input) {
  const std::int32_t count = input.ReadDataObjectStart();
  buffer_.LoadRow(input.Reader(), DataCountBytes(count));
  input.ReadDataObjectEnd();
  last_block_ = count <= 0;
}

TDBXValueType& TDBXClientTableReader::ValueType(std::int32_t ordinal) {
  if (ordinal < 0 || ordinal >= ColumnCount()) RaiseInvalidOrdinal(ordinal);
  return *columns_[static_cast<std::size_t>(ordinal)];
}

TDBXValue& TDBXClientTableReader::Value(std::int32_t ordinal) {
  TDBXValueType& type = ValueType(ordinal);
  auto& value = values_[static_cast<std::size_t>(ordinal)];
  if (!value) value = CreateValue(type);
  return *value;
}

bool TDBXClientTableReader::FetchNextBlock() {
  while (!last_block_) {
    wire_->Next(table_.row_handle, buffer_.RowNumber(), table_.command_handle);
    TDBXJSonStreamReader& reader = wire_->Reader();
    const JsonKeyword member = reader.NextMessageStart();
    if (member == JsonKeyword::kError) reader.ReadErrorBody();
    if (member != JsonKeyword::kData) {
      throw TDBXError(2, u"Unexpected member in the reply to next:  " + reader.LastString());
    }
    ReadBlock(wire_->Input());
    if (buffer_.ReadSize() > 0) return true;
  }
  return false;
}

bool TDBXClientTableReader::Next() {
  bool moved;
  if (!started_) {
    started_ = true;
    moved = buffer_.ReadSize() > 0;
  } else {
    moved = buffer_.ReadSize() > 0 && buffer_.NextRow();
  }
  if (!moved) moved = FetchNextBlock();
  if (moved) row_.NextGeneration();
  return moved;
}

}  // namespace wardenix
