#include "datasnap/writable_row_buffer_row.h"

#include <utility>
#include <vector>

#include "dbx/value_type.h"

namespace wardenix {

ByteSource* TDBXWritableRowBufferRow::Remainder(std::int32_t ordinal) {
  const auto it = remainders_.find(ordinal);
  return it == remainders_.end() ? nullptr : it->second.get();
}

std::map<std::int32_t, std::unique_ptr<ByteSource>> TDBXWritableRowBufferRow::TakeRemainders() {
  return std::exchange(remainders_, {});
}

void TDBXWritableRowBufferRow::SetNull(const TDBXValueType&) { Buffer().WriteNull(); }
void TDBXWritableRowBufferRow::SetBoolean(const TDBXValueType&, bool value) {
  Buffer().WriteBoolean(value);
}
void TDBXWritableRowBufferRow::SetInt32(const TDBXValueType&, std::int32_t value) {
  Buffer().WriteInt32(value);
}
void TDBXWritableRowBufferRow::SetInt64(const TDBXValueType&, std::int64_t value) {
  Buffer().WriteInt64(value);
}
void TDBXWritableRowBufferRow::SetDouble(const TDBXValueType&, double value) {
  Buffer().WriteDouble(value);
}
void TDBXWritableRowBufferRow::SetSingle(const TDBXValueType&, float value) {
  Buffer().WriteSingle(value);
}
void TDBXWritableRowBufferRow::SetDate(const TDBXValueType&, int year, int month, int day) {
  Buffer().WriteDate(year, month, day);
}
void TDBXWritableRowBufferRow::SetTime(const TDBXValueType&, std::int32_t milliseconds) {
  Buffer().WriteTime(milliseconds);
}
void TDBXWritableRowBufferRow::SetTimeStamp(const TDBXValueType&, const TSQLTimeStamp& value) {
  Buffer().WriteTimestamp(value);
}

void TDBXWritableRowBufferRow::SetString(const TDBXValueType& type, UStringView value) {
  if (auto rest = Buffer().WriteString(value)) remainders_[type.Ordinal()] = std::move(rest);
}

void TDBXWritableRowBufferRow::SetBcd(const TDBXValueType& type, UStringView decimal_text) {
  if (auto rest = Buffer().WriteBcd(decimal_text)) remainders_[type.Ordinal()] = std::move(rest);
}

void TDBXWritableRowBufferRow::SetStream(const TDBXValueType& type,
                                         std::span<const std::uint8_t> bytes) {
  auto source =
      std::make_unique<MemoryByteSource>(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  Buffer().WriteBytes(*source);
  if (!source->AtEnd()) remainders_[type.Ordinal()] = std::move(source);
}

void TDBXWritableRowBufferRow::SetJson(const TDBXValueType&, std::string_view json_text) {
  Buffer().WriteJson(json_text);
}

void TDBXWritableRowBufferRow::SetCallback(const TDBXValueType&, bool assigned) {
  Buffer().WriteCallback(assigned);
}

}  // namespace wardenix
