#include "datasnap/client_input_table.h"

#include "dbx/values.h"
#include "runtime/errors.h"
#include "wire/message_fragments.h"

namespace wardenix {
namespace {

// The writer is flushed before a block when less than this is free.
constexpr std::size_t kBlockReserve = 128;

// This client writes BCD values as their decimal text, never in the binary
// form that format 1 announces.
constexpr std::int32_t kTextBcdFormat = 0;

}  // namespace

TDBXClientInputTable::TDBXClientInputTable(TDBXReader& reader, std::int32_t row_handle,
                                           std::int32_t command_handle,
                                           std::int32_t writer_buffer_size)
    : reader_(reader),
      row_handle_(row_handle),
      command_handle_(command_handle),
      buffer_(writer_buffer_size, true, false),
      row_(buffer_) {}

void TDBXClientInputTable::WriteTable(TDBXJSonStreamWriter& writer) {
  writer.WriteFragment(fragment::kTableObject);
  writer.WriteFragment(fragment::kFieldsObject);
  writer.WriteInt(command_handle_);
  writer.WriteValueSeparator();
  writer.WriteBoolean(false);  // updateable
  writer.WriteValueSeparator();
  writer.WriteInt(row_handle_);
  writer.WriteValueSeparator();
  writer.WriteInt(kTextBcdFormat);
  writer.WriteValueSeparator();
  writer.WriteBoolean(true);  // column flags in the command model's form
  writer.WriteArrayEnd();
  writer.WriteObjectEnd();
  writer.WriteValueSeparator();
  writer.WriteFragment(fragment::kColumnsObject);
  const std::int32_t count = reader_.ColumnCount();
  writer.WriteInt(count);
  for (std::int32_t i = 0; i < count; ++i) {
    const TDBXValueType& column = reader_.ValueType(i);
    writer.WriteValueSeparator();
    writer.WriteArrayStart();
    writer.WriteString(column.Name());
    writer.WriteValueSeparator();
    writer.WriteInt(column.DataType());
    writer.WriteValueSeparator();
    writer.WriteInt(column.SubType());
    writer.WriteValueSeparator();
    writer.WriteLong(column.Precision());
    writer.WriteValueSeparator();
    writer.WriteInt(column.Scale());
    writer.WriteValueSeparator();
    writer.WriteLong(column.Size());
    writer.WriteValueSeparator();
    writer.WriteInt(column.ValueTypeFlags());
    writer.WriteValueSeparator();
    writer.WriteInt(column.ParameterDirection());
    writer.WriteArrayEnd();
  }
  writer.WriteArrayEnd();
  writer.WriteObjectEnd();
  writer.WriteArrayEnd();
  writer.WriteObjectEnd();
  WriteBlock(writer);
}

void TDBXClientInputTable::WriteNextBlock(TDBXJSonStreamWriter& writer) {
  WriteBlock(writer);
  writer.Flush();
}

ByteSource* TDBXClientInputTable::Remainder(std::int32_t ordinal) {
  const auto it = sent_rests_.find(ordinal);
  return it == sent_rests_.end() ? nullptr : it->second.get();
}

bool TDBXClientInputTable::EncodePendingRow() {
  if (exhausted_) return false;
  if (!reader_.Next()) {
    exhausted_ = true;
    return false;
  }
  buffer_.Reset();
  row_.ClearRemainders();
  try {
    for (std::int32_t i = 0; i < reader_.ColumnCount(); ++i) {
      TDBXValue& value = reader_.Value(i);
      if (value.IsNull()) {
        row_.SetNull(reader_.ValueType(i));
      } else {
        value.WriteTo(row_);
      }
    }
  } catch (const std::exception& failure) {
    // The partial row is dropped; the table cannot go on.
    buffer_.Reset();
    row_.ClearRemainders();
    exhausted_ = true;
    const auto* known = dynamic_cast<const Exception*>(&failure);
    throw TDBXError(30, known ? known->Message() : from_utf8(failure.what()));
  }
  const auto written = buffer_.Written();
  pending_bytes_.assign(written.begin(), written.end());
  pending_rests_ = row_.TakeRemainders();
  pending_ = true;
  return true;
}

void TDBXClientInputTable::WriteBlock(TDBXJSonStreamWriter& writer) {
  std::vector<std::uint8_t> block;
  sent_rests_.clear();
  if (!pending_) EncodePendingRow();
  while (pending_) {
    if (!block.empty() && block.size() + pending_bytes_.size() > buffer_.MinimumSize()) break;
    block.insert(block.end(), pending_bytes_.begin(), pending_bytes_.end());
    sent_rests_ = std::move(pending_rests_);
    pending_rests_.clear();
    pending_ = false;
    const bool unfinished = !sent_rests_.empty();
    EncodePendingRow();
    if (unfinished) break;
  }
  if (writer.BufferSize() - writer.Pending() < kBlockReserve) writer.Flush();
  writer.WriteRowBlock(block, !pending_);
}

}  // namespace wardenix
