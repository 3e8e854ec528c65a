#include "trialserver/input_table.h"

#include "runtime/errors.h"
#include "wire/message_fragments.h"

namespace wardenix::trial {
namespace {

// A block larger than this is refused: a client cannot make the server hold
// more.
constexpr std::uint64_t kLargestBlock = 64u * 1024 * 1024;

// Data types whose values are texts or bytes, read in full.
bool is_text(std::int32_t data_type) {
  return data_type == 1 || data_type == 8 || data_type == 25 || data_type == 26;
}
bool is_bytes(std::int32_t data_type) {
  switch (data_type) {
    case 3: case 9: case 15: case 20: case 21: case 33: case 35: return true;
    default: return false;
  }
}

[[noreturn]] void malformed() { throw TDBXError(2, u"Tabela de entrada ileg\u00EDvel"); }

std::uint64_t magnitude(std::int64_t count) {
  return count < 0 ? 0 - static_cast<std::uint64_t>(count) : static_cast<std::uint64_t>(count);
}

}  // namespace

InputTable::InputTable(TDBXJSonStreamReader& reader, std::int32_t buffer_size,
                       const TDBXContext& context)
    : rows_(buffer_size, false, false) {
  rows_.SetContext(&context);
  reader.Next(JsonToken::kArrayStart);
  for (;;) {
    reader.Next(JsonToken::kObjectStart);
    const JsonKeyword member = reader.ReadStringCode();
    reader.Next(JsonToken::kNameSeparator);
    reader.Next(JsonToken::kArrayStart);
    if (member == JsonKeyword::kFields) {
      reader.ReadInt();  // command handle
      reader.NextValueSeparator();
      reader.ReadBoolean();  // updateable
      if (reader.Next() == JsonToken::kValueSeparator) {
        row_handle_ = reader.ReadInt();
        reader.SkipToEndOfArray();  // BCD format, flag format
      }
    } else if (member == JsonKeyword::kColumns) {
      const std::int32_t count = reader.ReadInt();
      if (count < 0 || count > 4096) malformed();
      for (std::int32_t i = 0; i < count; ++i) {
        reader.NextValueSeparator();
        reader.Next(JsonToken::kArrayStart);
        InputColumn column;
        column.name = reader.ReadString();
        reader.NextValueSeparator();
        column.data_type = reader.ReadInt();
        reader.NextValueSeparator();
        column.sub_type = reader.ReadInt();
        reader.SkipToEndOfArray();  // sizes, flags, direction
        columns_.push_back(std::move(column));
      }
      reader.Next(JsonToken::kArrayEnd);
    } else {
      reader.SkipToEndOfArray();
    }
    reader.Next(JsonToken::kObjectEnd);
    if (reader.Next() != JsonToken::kValueSeparator) break;  // the "]" of the table
  }
  reader.Next(JsonToken::kObjectEnd);
  rows_.SetColumnCount(static_cast<std::int32_t>(columns_.size()));
  rows_.SetRowHandle(row_handle_);
  // The first rows follow without a separator.
  reader.Next(JsonToken::kObjectStart);
  if (reader.ReadStringCode() != JsonKeyword::kData) malformed();
  ReadBlock(reader);
}

void InputTable::ReadBlock(TDBXJSonStreamReader& reader) {
  reader.Next(JsonToken::kNameSeparator);
  reader.Next(JsonToken::kArrayStart);
  const std::int64_t count = reader.ReadLong();
  const std::uint64_t size = magnitude(count);
  if (size > kLargestBlock) malformed();
  const JsonToken after = reader.Next();
  if (after == JsonToken::kValueSeparator) {
    rows_.LoadRow(reader, size);
    reader.Next(JsonToken::kArrayEnd);
  } else if (after == JsonToken::kArrayEnd && size == 0) {
    rows_.LoadRow(std::span<const std::uint8_t>());
  } else {
    malformed();
  }
  reader.Next(JsonToken::kObjectEnd);
  last_block_ = count <= 0;
}

void InputTable::ReadValue(std::int32_t ordinal, InputTableTotals& totals) {
  if (rows_.GetNull(ordinal)) return;
  ++totals.values;
  const std::int32_t data_type = columns_[static_cast<std::size_t>(ordinal)].data_type;
  if (is_text(data_type)) {
    rows_.ReadString(ordinal);
  } else if (is_bytes(data_type)) {
    if (auto bytes = rows_.ReadBytes(ordinal)) wardenix::ReadAll(*bytes);
  }
}

InputTableTotals InputTable::ReadAll(TDBXJSonStreamReader& reader, TDBXJSonStreamWriter& writer,
                                     std::int32_t command_handle, BlobRequest pull) {
  rows_.SetCommandHandle(command_handle);
  rows_.SetBlobRequest(std::move(pull));
  InputTableTotals totals;
  for (;;) {
    bool more = rows_.ReadSize() > 0;
    while (more) {
      for (std::int32_t i = 0; i < static_cast<std::int32_t>(columns_.size()); ++i) {
        ReadValue(i, totals);
      }
      ++totals.rows;
      more = rows_.NextRow();
    }
    if (last_block_) return totals;
    writer.WriteObjectStart();
    writer.WriteFragment(fragment::kNextMember);
    writer.WriteInt(row_handle_);
    writer.WriteValueSeparator();
    writer.WriteLong(totals.rows);
    writer.WriteValueSeparator();
    writer.WriteInt(command_handle);
    writer.WriteArrayEnd();
    writer.WriteObjectEnd();
    writer.Flush();
    reader.Next(JsonToken::kObjectStart);
    const JsonKeyword member = reader.ReadStringCode();
    if (member == JsonKeyword::kError) reader.ReadErrorBody();
    if (member != JsonKeyword::kData) malformed();
    ReadBlock(reader);
  }
}

}  // namespace wardenix::trial
