#include "datasnap/client_parameter_row.h"

#include <vector>

#include "dbx/data_types.h"
#include "dbx/values.h"

namespace wardenix {

using namespace TDBXDataTypes;

TDBXClientParameterRow::TDBXClientParameterRow(std::int32_t writer_buffer_size,
                                               std::function<void()> types_changed)
    : TDBXRowBufferRow(buffer_),
      buffer_(writer_buffer_size, true, true),
      types_changed_(std::move(types_changed)) {}

TDBXClientParameterRow::~TDBXClientParameterRow() { buffer_.InvalidateBlobs(); }

std::unique_ptr<TDBXValue> TDBXClientParameterRow::CreateCustomValue(TDBXValueType& type) {
  const std::int32_t data_type = type.DataType();
  const std::int32_t sub_type = type.SubType();
  if (data_type == WideStringType || (data_type == BlobType && IsWideMemo(data_type, sub_type))) {
    return std::make_unique<TDBXWideCharsValue>(type);
  }
  if (data_type == AnsiStringType || (data_type == BlobType && IsAnsiMemo(data_type, sub_type))) {
    return std::make_unique<TDBXAnsiStringValue>(type);
  }
  return nullptr;
}

void TDBXClientParameterRow::ParameterTypeChanged() {
  if (types_changed_) types_changed_();
}

void TDBXClientParameterRow::Reset(std::int32_t command_handle) {
  buffer_.Reset();
  buffer_.LoadRow(std::span<const std::uint8_t>());
  buffer_.InvalidateBlobs();
  buffer_.SetCommandHandle(command_handle);
  remainders_.clear();
}

void TDBXClientParameterRow::KeepSentValues() {
  const std::vector<std::uint8_t> sent(buffer_.Written().begin(), buffer_.Written().end());
  buffer_.Reset();
  buffer_.LoadRow(sent);
}

void TDBXClientParameterRow::LoadReply(TDBXJSonStreamReader& reader, std::uint64_t count) {
  buffer_.LoadRow(reader, count);
}

ByteSource* TDBXClientParameterRow::Remainder(std::int32_t ordinal) {
  const auto it = remainders_.find(ordinal);
  return it == remainders_.end() ? nullptr : it->second.get();
}

void TDBXClientParameterRow::SetNull(const TDBXValueType&) { buffer_.WriteNull(); }
void TDBXClientParameterRow::SetBoolean(const TDBXValueType&, bool value) {
  buffer_.WriteBoolean(value);
}
void TDBXClientParameterRow::SetInt32(const TDBXValueType&, std::int32_t value) {
  buffer_.WriteInt32(value);
}
void TDBXClientParameterRow::SetInt64(const TDBXValueType&, std::int64_t value) {
  buffer_.WriteInt64(value);
}
void TDBXClientParameterRow::SetDouble(const TDBXValueType&, double value) {
  buffer_.WriteDouble(value);
}
void TDBXClientParameterRow::SetSingle(const TDBXValueType&, float value) {
  buffer_.WriteSingle(value);
}
void TDBXClientParameterRow::SetDate(const TDBXValueType&, int year, int month, int day) {
  buffer_.WriteDate(year, month, day);
}
void TDBXClientParameterRow::SetTime(const TDBXValueType&, std::int32_t milliseconds) {
  buffer_.WriteTime(milliseconds);
}
void TDBXClientParameterRow::SetTimeStamp(const TDBXValueType&, const TSQLTimeStamp& value) {
  buffer_.WriteTimestamp(value);
}

void TDBXClientParameterRow::SetString(const TDBXValueType& type, UStringView value) {
  if (auto rest = buffer_.WriteString(value)) remainders_[type.Ordinal()] = std::move(rest);
}

void TDBXClientParameterRow::SetBcd(const TDBXValueType& type, UStringView decimal_text) {
  if (auto rest = buffer_.WriteBcd(decimal_text)) remainders_[type.Ordinal()] = std::move(rest);
}

void TDBXClientParameterRow::SetStream(const TDBXValueType& type,
                                       std::span<const std::uint8_t> bytes) {
  auto source = std::make_unique<MemoryByteSource>(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  buffer_.WriteBytes(*source);
  if (!source->AtEnd()) remainders_[type.Ordinal()] = std::move(source);
}

void TDBXClientParameterRow::SetReader(const TDBXValueType&, TDBXReader&) { NotImplemented(); }

}  // namespace wardenix
