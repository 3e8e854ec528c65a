#pragma once
// The value objects of parameters and columns. A value holds its content
// itself: a setter stores it and marks it to be sent with every later
// execution; a getter first takes the row's latest reply when the row has
// moved on since the value last read or wrote it. An accessor the value's
// kind does not support raises TDBXError 7.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "dbx/callback.h"
#include "dbx/row.h"
#include "dbx/sql_timestamp.h"
#include "dbx/value_type.h"
#include "runtime/byte_source.h"
#include "runtime/currency.h"
#include "runtime/datetime.h"
#include "runtime/variant.h"

namespace wardenix {

class TDBXReader;

class TDBXValue {
 public:
  explicit TDBXValue(TDBXValueType& value_type);
  TDBXValue(const TDBXValue&) = delete;
  TDBXValue& operator=(const TDBXValue&) = delete;
  virtual ~TDBXValue() = default;

  TDBXValueType& ValueType() const { return FValueType; }

  bool IsNull();
  virtual void SetNull();

  virtual UString GetWideString();
  virtual void SetWideString(UStringView value);
  virtual UString GetAnsiString();
  virtual void SetAnsiString(UStringView value);
  virtual bool GetBoolean();
  virtual void SetBoolean(bool value);
  virtual std::int8_t GetInt8();
  virtual void SetInt8(std::int8_t value);
  virtual std::uint8_t GetUInt8();
  virtual void SetUInt8(std::uint8_t value);
  virtual std::int16_t GetInt16();
  virtual void SetInt16(std::int16_t value);
  virtual std::int32_t GetInt32();
  virtual void SetInt32(std::int32_t value);
  virtual std::int64_t GetInt64();
  virtual void SetInt64(std::int64_t value);
  virtual double GetDouble();
  virtual void SetDouble(double value);
  virtual float GetSingle();
  virtual void SetSingle(float value);
  // BCD values as their decimal text ("-12.5").
  virtual UString GetBcd();
  virtual void SetBcd(UStringView decimal_text);
  virtual TSQLTimeStamp GetTimeStamp();
  virtual void SetTimeStamp(const TSQLTimeStamp& value);
  // Timestamp, date and time values; reading from any other raises
  // TDBXError 27, writing to any other the type error for "TIMESTAMP".
  virtual TDateTime GetAsDateTime();
  virtual void SetAsDateTime(TDateTime value);
  // Written as a BCD of precision 32 and scale 4; 32-bit integer, double and
  // UTF-16 text values convert it to their own type.
  virtual void SetAsCurrency(Currency value);
  // Stream values: the variant in its OLE stream form. Null reads as Null.
  virtual Variant GetAsVariant();
  virtual void SetAsVariant(const Variant& value);
  virtual std::vector<std::uint8_t> GetBytes();
  virtual void SetBytes(std::span<const std::uint8_t> value);
  // Table values: the reader, owned by the value when `owns_reader`.
  virtual void SetDBXReader(TDBXReader* reader, bool owns_reader);
  virtual TDBXReader* GetDBXReader();
  // JSON values: the value's JSON text.
  virtual std::string GetJsonText();
  virtual void SetJsonText(std::string_view json_text);
  // Callback values: the object the server may call during an execution.
  virtual void SetCallbackValue(std::shared_ptr<TDBXCallback> callback);
  virtual std::shared_ptr<TDBXCallback> GetCallbackValue();

  // ---- the transport's side
  // The caller set a value (SetNull included) since the value was built.
  virtual bool IsSetPending() const { return false; }
  // The null state as the value holds it, without looking at the row.
  bool HeldNull() const { return FIsNull; }
  // Hands the held content to `row` for sending; only for a value that was
  // set and is not null.
  virtual void WriteTo(TDBXRow& row);

 protected:
  // Takes the row's latest content when the row moved on since last time.
  void Refresh();
  // Stores the row's content; called only when the row's value is not null.
  virtual void ReadFrom(TDBXRow& row);
  // A caller's setter ran: not null, current with the row.
  virtual void MarkSet();
  void SetNullState(bool value) { FIsNull = value; }
  [[noreturn]] void TypeError(UStringView accessor_type) const;
  [[noreturn]] void NotImplemented() const;

 private:
  TDBXValueType& FValueType;
  std::int32_t FGeneration = -1;
  bool FIsNull = true;
  TDBXRow* FDbxRow;
};

// The value of a parameter whose type is unknown: null, no accessors.
class TDBXNullValue final : public TDBXValue {
 public:
  using TDBXValue::TDBXValue;
};

class TDBXWritableValue : public TDBXValue {
 public:
  using TDBXValue::TDBXValue;
  void SetNull() override;
  bool IsSetPending() const override { return FSetPending; }

 protected:
  void MarkSet() override;

 private:
  bool FSetPending = false;
};

// Kinds the program never reads or writes (cursor, connection, timestamp
// with offset): null only.
class TDBXOpaqueValue final : public TDBXWritableValue {
 public:
  using TDBXWritableValue::TDBXWritableValue;
};

class TDBXAnsiStringValue : public TDBXWritableValue {
 public:
  using TDBXWritableValue::TDBXWritableValue;
  UString GetAnsiString() override;
  void SetAnsiString(UStringView value) override;
  void WriteTo(TDBXRow& row) override;

 protected:
  void ReadFrom(TDBXRow& row) override;

 private:
  UString FValue;
};

class TDBXWideStringValue : public TDBXWritableValue {
 public:
  using TDBXWritableValue::TDBXWritableValue;
  UString GetWideString() override;
  void SetWideString(UStringView value) override;
  void SetAsCurrency(Currency value) override;
  void WriteTo(TDBXRow& row) override;

 protected:
  void ReadFrom(TDBXRow& row) override;

 private:
  UString FValue;
};

// The UTF-16 text value that a driver's parameter row supplies.
class TDBXWideCharsValue final : public TDBXWideStringValue {
 public:
  using TDBXWideStringValue::TDBXWideStringValue;
};

class TDBXBooleanValue final : public TDBXWritableValue {
 public:
  using TDBXWritableValue::TDBXWritableValue;
  bool GetBoolean() override;
  void SetBoolean(bool value) override;
  void WriteTo(TDBXRow& row) override;

 protected:
  void ReadFrom(TDBXRow& row) override;

 private:
  bool FValue = false;
};

// The integers other than 32-bit ones: the content, held at 64 bits.
class TDBXIntegerValue : public TDBXWritableValue {
 public:
  using TDBXWritableValue::TDBXWritableValue;
  void WriteTo(TDBXRow& row) override;

 protected:
  void ReadFrom(TDBXRow& row) override;
  std::int64_t Get();
  void Set(std::int64_t value);

 private:
  std::int64_t FValue = 0;
};

class TDBXInt8Value final : public TDBXIntegerValue {
 public:
  using TDBXIntegerValue::TDBXIntegerValue;
  std::int8_t GetInt8() override { return static_cast<std::int8_t>(Get()); }
  void SetInt8(std::int8_t value) override { Set(value); }
};

class TDBXUInt8Value final : public TDBXIntegerValue {
 public:
  using TDBXIntegerValue::TDBXIntegerValue;
  std::uint8_t GetUInt8() override { return static_cast<std::uint8_t>(Get()); }
  void SetUInt8(std::uint8_t value) override { Set(value); }
};

class TDBXInt16Value final : public TDBXIntegerValue {
 public:
  using TDBXIntegerValue::TDBXIntegerValue;
  std::int16_t GetInt16() override { return static_cast<std::int16_t>(Get()); }
  void SetInt16(std::int16_t value) override { Set(value); }
};

class TDBXInt64Value final : public TDBXIntegerValue {
 public:
  using TDBXIntegerValue::TDBXIntegerValue;
  std::int64_t GetInt64() override { return Get(); }
  void SetInt64(std::int64_t value) override { Set(value); }
};

class TDBXInt32Value final : public TDBXWritableValue {
 public:
  using TDBXWritableValue::TDBXWritableValue;
  std::int32_t GetInt32() override;
  void SetInt32(std::int32_t value) override;
  void SetAsCurrency(Currency value) override;
  void WriteTo(TDBXRow& row) override;

 protected:
  void ReadFrom(TDBXRow& row) override;

 private:
  std::int32_t FValue = 0;
};

class TDBXDoubleValue final : public TDBXWritableValue {
 public:
  using TDBXWritableValue::TDBXWritableValue;
  double GetDouble() override;
  void SetDouble(double value) override;
  void SetAsCurrency(Currency value) override;
  void WriteTo(TDBXRow& row) override;

 protected:
  void ReadFrom(TDBXRow& row) override;

 private:
  double FValue = 0.0;
};

class TDBXSingleValue final : public TDBXWritableValue {
 public:
  using TDBXWritableValue::TDBXWritableValue;
  float GetSingle() override;
  void SetSingle(float value) override;
  void WriteTo(TDBXRow& row) override;

 protected:
  void ReadFrom(TDBXRow& row) override;

 private:
  float FValue = 0.0f;
};

class TDBXBcdValue final : public TDBXWritableValue {
 public:
  using TDBXWritableValue::TDBXWritableValue;
  UString GetBcd() override;
  void SetBcd(UStringView decimal_text) override;
  void SetAsCurrency(Currency value) override;
  void WriteTo(TDBXRow& row) override;

 protected:
  void ReadFrom(TDBXRow& row) override;

 private:
  UString FValue = u"0";
};

class TDBXDateValue final : public TDBXWritableValue {
 public:
  using TDBXWritableValue::TDBXWritableValue;
  TDateTime GetAsDateTime() override;
  void SetAsDateTime(TDateTime value) override;
  void WriteTo(TDBXRow& row) override;

 protected:
  void ReadFrom(TDBXRow& row) override;

 private:
  int FYear = 1899, FMonth = 12, FDay = 30;
};

class TDBXTimeValue final : public TDBXWritableValue {
 public:
  using TDBXWritableValue::TDBXWritableValue;
  TDateTime GetAsDateTime() override;
  void SetAsDateTime(TDateTime value) override;
  void WriteTo(TDBXRow& row) override;

 protected:
  void ReadFrom(TDBXRow& row) override;

 private:
  std::int32_t FMilliseconds = 0;
};

class TDBXTimeStampValue final : public TDBXWritableValue {
 public:
  using TDBXWritableValue::TDBXWritableValue;
  TSQLTimeStamp GetTimeStamp() override;
  void SetTimeStamp(const TSQLTimeStamp& value) override;
  TDateTime GetAsDateTime() override;
  void SetAsDateTime(TDateTime value) override;
  void WriteTo(TDBXRow& row) override;

 protected:
  void ReadFrom(TDBXRow& row) override;

 private:
  TSQLTimeStamp FValue;
};

// Byte values. A value read from the row keeps the row's stream until it is
// taken; the stream is taken once.
class TDBXByteArrayValue : public TDBXWritableValue {
 public:
  using TDBXWritableValue::TDBXWritableValue;
  std::vector<std::uint8_t> GetBytes() override;
  void SetBytes(std::span<const std::uint8_t> value) override;
  void WriteTo(TDBXRow& row) override;

 protected:
  void ReadFrom(TDBXRow& row) override;
  // The row's stream, when it has not been taken yet.
  std::unique_ptr<ByteSource> TakeStream();
  std::vector<std::uint8_t>& Held() { return FBytes; }

 private:
  std::vector<std::uint8_t> FBytes;
  std::unique_ptr<ByteSource> FStream;
};

// Stream values, which carry serialised variants among other things.
class TDBXStreamValue final : public TDBXByteArrayValue {
 public:
  using TDBXByteArrayValue::TDBXByteArrayValue;
  Variant GetAsVariant() override;
  void SetAsVariant(const Variant& value) override;

 protected:
  void ReadFrom(TDBXRow& row) override;
  void MarkSet() override;

 private:
  // What the last read decoded, so that reading twice decodes once.
  std::optional<Variant> FDecoded;
};

// Table values. After an execution that gave the parameter a table, the
// value reads as that table (owned by the row) until the caller sets it
// again; otherwise it reads as the reader the caller set.
class TDBXReaderValue final : public TDBXWritableValue {
 public:
  using TDBXWritableValue::TDBXWritableValue;
  ~TDBXReaderValue() override;  // frees an owned reader
  void SetNull() override;
  void SetDBXReader(TDBXReader* reader, bool owns_reader) override;
  TDBXReader* GetDBXReader() override;
  void WriteTo(TDBXRow& row) override;

 private:
  void Release();

  TDBXReader* FReader = nullptr;
  // Set when the value owns FReader.
  std::unique_ptr<TDBXReader> FOwnedReader;
  // The row's generation when the caller last set the value.
  std::int32_t FSetGeneration = -1;
};

class TDBXJsonValue final : public TDBXWritableValue {
 public:
  using TDBXWritableValue::TDBXWritableValue;
  std::string GetJsonText() override;
  void SetJsonText(std::string_view json_text) override;
  void WriteTo(TDBXRow& row) override;

 protected:
  void ReadFrom(TDBXRow& row) override;

 private:
  std::string FValue;
};

class TDBXCallbackValue final : public TDBXWritableValue {
 public:
  using TDBXWritableValue::TDBXWritableValue;
  void SetNull() override;
  void SetCallbackValue(std::shared_ptr<TDBXCallback> callback) override;
  std::shared_ptr<TDBXCallback> GetCallbackValue() override { return FCallback; }
  void WriteTo(TDBXRow& row) override;

 private:
  std::shared_ptr<TDBXCallback> FCallback;
};

// The value object for `type` by the rules of the data type: the row's own
// kind first, then the table of types. Raises TDBXError 3 "Unexpected data
// type %s" for a type without value object.
std::unique_ptr<TDBXValue> CreateValue(TDBXValueType& type);

// A date-time as a timestamp, the milliseconds as its fractions.
TSQLTimeStamp DateTimeToSQLTimeStamp(TDateTime value);

// The decimal text of a currency amount, without trailing zeros ("12.5").
UString CurrencyToDecimalText(Currency value);

}  // namespace wardenix
