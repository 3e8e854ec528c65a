#pragma once
// TDBXRow: the storage behind the values of parameters or columns. A driver
// implements it over its wire format: the values of one execution are
// written into it in ordinal order, and the latest reply is read from it.
// Every new reply raises the generation, which tells the values that what
// they hold is stale.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "dbx/sql_timestamp.h"
#include "runtime/byte_source.h"
#include "runtime/ustring.h"

namespace wardenix {

class TDBXReader;
class TDBXValue;
class TDBXValueType;

class TDBXRow {
 public:
  virtual ~TDBXRow() = default;

  std::int32_t Generation() const { return generation_; }
  void NextGeneration() { ++generation_; }

  // A value object of the row's own kind for `type`, or null to let the
  // data type decide.
  virtual std::unique_ptr<TDBXValue> CreateCustomValue(TDBXValueType& type);
  // A value of `type` was rebuilt after its type changed.
  virtual void ParameterTypeChanged() {}

  // ---- reading the latest reply, by the value type's ordinal
  virtual bool IsNull(const TDBXValueType& type) = 0;
  virtual bool GetBoolean(const TDBXValueType& type) = 0;
  // Every integer kind.
  virtual std::int64_t GetInt64(const TDBXValueType& type) = 0;
  virtual double GetDouble(const TDBXValueType& type) = 0;
  virtual float GetSingle(const TDBXValueType& type) = 0;
  virtual void GetDate(const TDBXValueType& type, int& year, int& month, int& day) = 0;
  virtual std::int32_t GetTime(const TDBXValueType& type) = 0;
  virtual TSQLTimeStamp GetTimeStamp(const TDBXValueType& type) = 0;
  // Texts, and BCD values as their decimal text.
  virtual UString GetString(const TDBXValueType& type) = 0;
  // Null for a null value.
  virtual std::unique_ptr<ByteSource> GetStream(const TDBXValueType& type) = 0;

  // ---- writing one execution's values, in ordinal order
  virtual void SetNull(const TDBXValueType& type) = 0;
  virtual void SetBoolean(const TDBXValueType& type, bool value) = 0;
  virtual void SetInt32(const TDBXValueType& type, std::int32_t value) = 0;
  virtual void SetInt64(const TDBXValueType& type, std::int64_t value) = 0;
  virtual void SetDouble(const TDBXValueType& type, double value) = 0;
  virtual void SetSingle(const TDBXValueType& type, float value) = 0;
  virtual void SetDate(const TDBXValueType& type, int year, int month, int day) = 0;
  virtual void SetTime(const TDBXValueType& type, std::int32_t milliseconds) = 0;
  virtual void SetTimeStamp(const TDBXValueType& type, const TSQLTimeStamp& value) = 0;
  virtual void SetString(const TDBXValueType& type, UStringView value) = 0;
  virtual void SetBcd(const TDBXValueType& type, UStringView decimal_text) = 0;
  virtual void SetStream(const TDBXValueType& type, std::span<const std::uint8_t> bytes) = 0;
  virtual void SetReader(const TDBXValueType& type, TDBXReader& reader) = 0;
  // A callback parameter: whether a callback object is assigned. Rows
  // without callbacks raise TDBXError 27.
  virtual void SetCallback(const TDBXValueType& type, bool assigned);
  // JSON values as their text; rows without them raise TDBXError 27.
  virtual void SetJson(const TDBXValueType& type, std::string_view json_text);
  virtual std::string GetJson(const TDBXValueType& type);

  // A table the latest reply attached to the parameter of `type`, owned by
  // the row; null when there is none.
  virtual TDBXReader* GetReader(const TDBXValueType& type);

 private:
  std::int32_t generation_ = 0;
};

}  // namespace wardenix
