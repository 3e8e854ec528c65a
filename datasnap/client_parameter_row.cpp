#include "datasnap/client_parameter_row.h"

#include <vector>

#include "dbx/data_types.h"
#include "dbx/values.h"

namespace wardenix {

using namespace TDBXDataTypes;
using namespace TDBXParameterDirections;

TDBXClientParameterRow::TDBXClientParameterRow(std::int32_t writer_buffer_size,
                                               std::function<void()> types_changed)
    : TDBXWritableRowBufferRow(buffer_),
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
  ClearRemainders();
  input_tables_.clear();
  attached_.clear();
}

void TDBXClientParameterRow::KeepSentValues() {
  const std::vector<std::uint8_t> sent(buffer_.Written().begin(), buffer_.Written().end());
  buffer_.Reset();
  buffer_.LoadRow(sent);
}

void TDBXClientParameterRow::LoadReply(TDBXJSonStreamReader& reader, std::uint64_t count) {
  buffer_.LoadRow(reader, count);
}

void TDBXClientParameterRow::AttachTable(std::int32_t ordinal, std::unique_ptr<TDBXReader> table) {
  attached_[ordinal] = std::move(table);
}

bool TDBXClientParameterRow::IsNull(const TDBXValueType& type) {
  if (attached_.contains(type.Ordinal())) return false;
  return TDBXWritableRowBufferRow::IsNull(type);
}

TDBXReader* TDBXClientParameterRow::GetReader(const TDBXValueType& type) {
  const auto it = attached_.find(type.Ordinal());
  return it == attached_.end() ? nullptr : it->second.get();
}

void TDBXClientParameterRow::SetReader(const TDBXValueType& type, TDBXReader& reader) {
  const std::int32_t direction = type.ParameterDirection();
  if (direction == OutParameter || direction == ReturnParameter) {
    buffer_.WriteNull();
    return;
  }
  input_tables_.push_back(&reader);
  buffer_.WriteInt32(static_cast<std::int32_t>(input_tables_.size()));
}

}  // namespace wardenix
