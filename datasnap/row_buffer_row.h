#pragma once
// The reading half of a TDBXRow over a row buffer: each value type reads the
// value at its ordinal with the encoding of its data type. Tables and the
// parameter row build on it; a row that is only read refuses writes.
#include "dbx/row.h"
#include "wire/row_buffer.h"

namespace wardenix {

class TDBXRowBufferRow : public TDBXRow {
 public:
  explicit TDBXRowBufferRow(TDBXRowBuffer& buffer) : buffer_(buffer) {}

  // BCD values in the binary form of table rows, instead of their text.
  void SetBinaryBcd(bool value) { binary_bcd_ = value; }

  // A row without content (none received yet) reads as all null.
  bool IsNull(const TDBXValueType& type) override;
  bool GetBoolean(const TDBXValueType& type) override;
  std::int64_t GetInt64(const TDBXValueType& type) override;
  double GetDouble(const TDBXValueType& type) override;
  float GetSingle(const TDBXValueType& type) override;
  void GetDate(const TDBXValueType& type, int& year, int& month, int& day) override;
  std::int32_t GetTime(const TDBXValueType& type) override;
  TSQLTimeStamp GetTimeStamp(const TDBXValueType& type) override;
  UString GetString(const TDBXValueType& type) override;
  std::unique_ptr<ByteSource> GetStream(const TDBXValueType& type) override;
  std::string GetJson(const TDBXValueType& type) override;

  // Writing raises TDBXError 27 here.
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
  void SetReader(const TDBXValueType& type, TDBXReader& reader) override;

 protected:
  TDBXRowBuffer& Buffer() { return buffer_; }
  [[noreturn]] static void NotImplemented();

 private:
  TDBXRowBuffer& buffer_;
  bool binary_bcd_ = false;
};

}  // namespace wardenix
