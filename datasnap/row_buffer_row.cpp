#include "datasnap/row_buffer_row.h"

#include "dbx/data_types.h"
#include "dbx/value_type.h"
#include "runtime/errors.h"

namespace wardenix {

using namespace TDBXDataTypes;

void TDBXRowBufferRow::NotImplemented() { throw TDBXError(27, u"Feature not implemented"); }

bool TDBXRowBufferRow::IsNull(const TDBXValueType& type) {
  return buffer_.ReadSize() == 0 || buffer_.GetNull(type.Ordinal());
}

bool TDBXRowBufferRow::GetBoolean(const TDBXValueType& type) {
  return buffer_.ReadBoolean(type.Ordinal());
}

std::int64_t TDBXRowBufferRow::GetInt64(const TDBXValueType& type) {
  if (type.DataType() == Int64Type) return buffer_.ReadInt64(type.Ordinal());
  return buffer_.ReadInt32(type.Ordinal());
}

double TDBXRowBufferRow::GetDouble(const TDBXValueType& type) {
  if (type.SubType() == SingleType) return static_cast<double>(buffer_.ReadSingle(type.Ordinal()));
  return buffer_.ReadDouble(type.Ordinal());
}

float TDBXRowBufferRow::GetSingle(const TDBXValueType& type) {
  return buffer_.ReadSingle(type.Ordinal());
}

void TDBXRowBufferRow::GetDate(const TDBXValueType& type, int& year, int& month, int& day) {
  buffer_.ReadDate(type.Ordinal(), year, month, day);
}

std::int32_t TDBXRowBufferRow::GetTime(const TDBXValueType& type) {
  return buffer_.ReadTime(type.Ordinal());
}

TSQLTimeStamp TDBXRowBufferRow::GetTimeStamp(const TDBXValueType& type) {
  return buffer_.ReadTimestamp(type.Ordinal());
}

UString TDBXRowBufferRow::GetString(const TDBXValueType& type) {
  const bool bcd = type.DataType() == BcdType || type.DataType() == CurrencyType;
  if (bcd && binary_bcd_) return buffer_.ReadBcdBinary(type.Ordinal());
  return buffer_.ReadString(type.Ordinal());
}

std::unique_ptr<ByteSource> TDBXRowBufferRow::GetStream(const TDBXValueType& type) {
  return buffer_.ReadBytes(type.Ordinal());
}

std::string TDBXRowBufferRow::GetJson(const TDBXValueType& type) {
  return buffer_.ReadJson(type.Ordinal()).value_or(std::string());
}

void TDBXRowBufferRow::SetNull(const TDBXValueType&) { NotImplemented(); }
void TDBXRowBufferRow::SetBoolean(const TDBXValueType&, bool) { NotImplemented(); }
void TDBXRowBufferRow::SetInt32(const TDBXValueType&, std::int32_t) { NotImplemented(); }
void TDBXRowBufferRow::SetInt64(const TDBXValueType&, std::int64_t) { NotImplemented(); }
void TDBXRowBufferRow::SetDouble(const TDBXValueType&, double) { NotImplemented(); }
void TDBXRowBufferRow::SetSingle(const TDBXValueType&, float) { NotImplemented(); }
void TDBXRowBufferRow::SetDate(const TDBXValueType&, int, int, int) { NotImplemented(); }
void TDBXRowBufferRow::SetTime(const TDBXValueType&, std::int32_t) { NotImplemented(); }
void TDBXRowBufferRow::SetTimeStamp(const TDBXValueType&, const TSQLTimeStamp&) { NotImplemented(); }
void TDBXRowBufferRow::SetString(const TDBXValueType&, UStringView) { NotImplemented(); }
void TDBXRowBufferRow::SetBcd(const TDBXValueType&, UStringView) { NotImplemented(); }
void TDBXRowBufferRow::SetStream(const TDBXValueType&, std::span<const std::uint8_t>) {
  NotImplemented();
}
void TDBXRowBufferRow::SetReader(const TDBXValueType&, TDBXReader&) { NotImplemented(); }

}  // namespace wardenix
