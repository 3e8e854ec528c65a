#include "trialserver/reply_writer.h"

#include "wire/message_fragments.h"

namespace wardenix::trial {
namespace {

void WriteHandleObject(TDBXJSonStreamWriter& writer, std::int32_t handle) {
  writer.WriteFragment(fragment::kHandleObject);
  writer.WriteInt(handle);
  writer.WriteArrayEnd();
  writer.WriteObjectEnd();
}

// Closes the result array and the result object, and sends the reply.
void EndResult(TDBXJSonStreamWriter& writer) {
  writer.WriteArrayEnd();
  writer.WriteObjectEnd();
  writer.Flush();
}

}  // namespace

void WriteErrorReply(TDBXJSonStreamWriter& writer, const ServerError& error) {
  writer.WriteFragment(fragment::kErrorObject);
  writer.WriteString(error.name);
  writer.WriteValueSeparator();
  writer.WriteFragment(fragment::kErrorCode);
  writer.WriteInt(error.code);
  writer.WriteValueSeparator();
  writer.WriteFragment(fragment::kErrorMessage);
  writer.WriteString(error.message);
  writer.WriteObjectEnd();
  writer.WriteObjectEnd();
  writer.Flush();
}

void WriteConnectReply(TDBXJSonStreamWriter& writer, std::int32_t connection_handle,
                       UStringView product_name) {
  writer.WriteFragment(fragment::kResultObject);
  writer.WriteInt(connection_handle);
  writer.WriteValueSeparator();
  writer.WriteString(product_name);
  EndResult(writer);
}

void WritePrepareReply(TDBXJSonStreamWriter& writer, std::int32_t command_handle,
                       std::span<const ParameterSpec> parameters) {
  writer.WriteFragment(fragment::kResultObject);
  WriteHandleObject(writer, command_handle);
  writer.WriteValueSeparator();
  writer.WriteFragment(fragment::kParametersObject);
  writer.WriteInt(static_cast<std::int32_t>(parameters.size()));
  for (const ParameterSpec& p : parameters) {
    writer.WriteValueSeparator();
    writer.WriteArrayStart();
    writer.WriteInt(p.data_type);
    writer.WriteValueSeparator();
    writer.WriteInt(p.sub_type);
    writer.WriteValueSeparator();
    writer.WriteInt(p.direction);
    writer.WriteValueSeparator();
    writer.WriteLong(p.precision);
    writer.WriteValueSeparator();
    writer.WriteInt(p.scale);
    writer.WriteValueSeparator();
    writer.WriteString(p.name);
    writer.WriteValueSeparator();
    writer.WriteInt(0);  // child position
    writer.WriteValueSeparator();
    writer.WriteInt(p.size);
    writer.WriteValueSeparator();
    writer.WriteInt(p.flags);
    writer.WriteArrayEnd();
  }
  writer.WriteArrayEnd();
  writer.WriteObjectEnd();
  EndResult(writer);
}

void WriteExecuteReply(TDBXJSonStreamWriter& writer, std::int32_t command_handle,
                       std::span<const std::uint8_t> row) {
  writer.WriteFragment(fragment::kResultObject);
  WriteHandleObject(writer, command_handle);
  if (!row.empty()) {
    writer.WriteValueSeparator();
    writer.WriteDataBlock(row);
  }
  EndResult(writer);
}

void WriteTableReply(TDBXJSonStreamWriter& writer, std::int32_t command_handle,
                     std::int32_t row_handle, std::span<const TableColumn> columns,
                     std::span<const std::uint8_t> rows) {
  writer.WriteFragment(fragment::kResultObject);
  WriteHandleObject(writer, command_handle);
  writer.WriteValueSeparator();
  writer.WriteFragment(fragment::kTableObject);
  // Not updateable, BCD format 1, column flags in the command model's form.
  writer.WriteFragment(fragment::kFieldsObject);
  writer.WriteInt(command_handle);
  writer.WriteValueSeparator();
  writer.WriteBoolean(false);
  writer.WriteValueSeparator();
  writer.WriteInt(row_handle);
  writer.WriteValueSeparator();
  writer.WriteInt(1);
  writer.WriteValueSeparator();
  writer.WriteBoolean(true);
  writer.WriteArrayEnd();
  writer.WriteObjectEnd();
  writer.WriteValueSeparator();
  writer.WriteFragment(fragment::kColumnsObject);
  writer.WriteInt(static_cast<std::int32_t>(columns.size()));
  for (const TableColumn& c : columns) {
    writer.WriteValueSeparator();
    writer.WriteArrayStart();
    writer.WriteString(c.name);
    writer.WriteValueSeparator();
    writer.WriteInt(c.data_type);
    writer.WriteValueSeparator();
    writer.WriteInt(c.sub_type);
    writer.WriteValueSeparator();
    writer.WriteLong(c.precision);
    writer.WriteValueSeparator();
    writer.WriteInt(c.scale);
    writer.WriteValueSeparator();
    writer.WriteInt(c.size);
    writer.WriteValueSeparator();
    writer.WriteInt(c.flags);
    writer.WriteArrayEnd();
  }
  writer.WriteArrayEnd();
  writer.WriteObjectEnd();
  writer.WriteArrayEnd();  // the table's metadata list
  writer.WriteObjectEnd();
  writer.WriteArrayEnd();  // the result array; the rows follow it
  // One block holds every row: its count is negative as the last block.
  writer.WriteFragment(fragment::kDataObject);
  writer.WriteLong(-static_cast<std::int64_t>(rows.size()));
  if (!rows.empty()) {
    writer.WriteValueSeparator();
    writer.WriteBytes(rows);
  }
  writer.WriteArrayEnd();
  writer.WriteObjectEnd();
  writer.WriteObjectEnd();
  writer.Flush();
}

void WriteBlobChunkReply(TDBXJSonStreamWriter& writer, ByteSource& rest) {
  writer.WriteFragment(fragment::kResultObject);
  writer.WriteStreamChunk(rest);  // flushes
  EndResult(writer);
}

void WriteNoNextResultReply(TDBXJSonStreamWriter& writer) {
  writer.WriteFragment(fragment::kResultObject);
  writer.WriteBoolean(false);
  writer.WriteValueSeparator();
  writer.WriteLong(0);
  writer.WriteValueSeparator();
  writer.WriteBoolean(false);
  writer.WriteValueSeparator();
  writer.WriteInt(-1);
  EndResult(writer);
}

void WriteIntResultReply(TDBXJSonStreamWriter& writer, std::int32_t value) {
  writer.WriteFragment(fragment::kResultObject);
  writer.WriteInt(value);
  EndResult(writer);
}

void WriteTextResultReply(TDBXJSonStreamWriter& writer, UStringView value) {
  writer.WriteFragment(fragment::kResultObject);
  writer.WriteString(value);
  EndResult(writer);
}

void WriteEmptyResultReply(TDBXJSonStreamWriter& writer) {
  writer.WriteFragment(fragment::kResultObject);
  EndResult(writer);
}

void WriteMoreBlobRequest(TDBXJSonStreamWriter& writer, std::int32_t command_handle,
                          std::int32_t blob_handle, std::int64_t row, std::int32_t ordinal,
                          std::int32_t row_handle) {
  writer.WriteObjectStart();
  writer.WriteFragment(fragment::kMoreBlobMember);
  writer.WriteInt(command_handle);
  writer.WriteValueSeparator();
  writer.WriteInt(blob_handle);
  writer.WriteValueSeparator();
  writer.WriteLong(row);
  writer.WriteValueSeparator();
  writer.WriteInt(ordinal);
  writer.WriteValueSeparator();
  writer.WriteInt(row_handle);
  writer.WriteArrayEnd();
  writer.WriteObjectEnd();
  writer.Flush();
}

}  // namespace wardenix::trial
