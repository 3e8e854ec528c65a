#pragma once
// A row over a row buffer that is written as well as read: the values of one
// execution, or the rows of a table the client sends. Texts and streams too
// large for the row keep their rest here until the server pulls it.
#include <cstdint>
#include <map>
#include <memory>

#include "datasnap/row_buffer_row.h"
#include "wire/row_buffer.h"

namespace wardenix {

class TDBXWritableRowBufferRow : public TDBXRowBufferRow {
 public:
  explicit TDBXWritableRowBufferRow(TDBXRowBuffer& buffer) : TDBXRowBufferRow(buffer) {}

  // The rest of the value at `ordinal` that did not fit the row, or null.
  ByteSource* Remainder(std::int32_t ordinal);
  bool HasRemainders() const { return !remainders_.empty(); }
  void ClearRemainders() { remainders_.clear(); }
  // Hands the rests over, leaving none here.
  std::map<std::int32_t, std::unique_ptr<ByteSource>> TakeRemainders();

  void SetNull(const TDBXValueType& type) override;
  void SetBoolean(const TDBXValueType& type, bool value) override;
  void SetInt32(const TDBXValueType& type, std::int32_t value) override;
  void SetInt64(const TDBXValueType& type, std::int64_t value) override;
  void SetDouble(const TDBXValueType& type, double value) override;
  void SetSingle(const TDBXValueType& type, float value) override;
  void SetDate(const TDBXValueType& type, int year, int month, int day) override;
  void SetTime(const TDBXValueType& type, std::int32_t milliseconds) override;
  void SetTimeStamp(const TDBXValueType& type, const TSQLTimeStamp& value) override;
  void SetString(const TDBXValueType& type, UStringView value) override;
  void SetBcd(const TDBXValueType& type, UStringView decimal_text) override;
  void SetStream(const TDBXValueType& type, std::span<const std::uint8_t> bytes) override;
  void SetCallback(const TDBXValueType& type, bool assigned) override;
  void SetJson(const TDBXValueType& type, std::string_view json_text) override;

 private:
  std::map<std::int32_t, std::unique_ptr<ByteSource>> remainders_;
};

}  // namespace wardenix
