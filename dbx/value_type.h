#pragma once
// TDBXValueType: what describes a parameter or a column (name, data type,
// sizes, direction, flags) and the row its value lives in. TDBXParameter adds
// the value object, built on first access and rebuilt after a type change.
#include <cstdint>
#include <memory>

#include "dbx/dbx_context.h"
#include "runtime/ustring.h"

namespace wardenix {

class TDBXRow;
class TDBXValue;

class TDBXValueType {
 public:
  explicit TDBXValueType(const TDBXContext* context = nullptr) : FDBXContext(context) {}
  TDBXValueType(const TDBXValueType&) = delete;
  TDBXValueType& operator=(const TDBXValueType&) = delete;
  virtual ~TDBXValueType() = default;

  const UString& Name() const { return FName; }
  void SetName(UString value) { FName = std::move(value); }
  const UString& Caption() const { return FCaption; }
  void SetCaption(UString value) { FCaption = std::move(value); }
  std::int32_t Ordinal() const { return FOrdinal; }
  void SetOrdinal(std::int32_t value) { FOrdinal = value; }
  std::int32_t DataType() const { return FDataType; }
  void SetDataType(std::int32_t value);
  std::int32_t SubType() const { return FSubType; }
  void SetSubType(std::int32_t value);
  std::int64_t Size() const { return FSize; }
  void SetSize(std::int64_t value) { FSize = value; }
  std::int64_t Precision() const { return FPrecision; }
  void SetPrecision(std::int64_t value) { FPrecision = value; }
  std::int32_t Scale() const { return FScale; }
  void SetScale(std::int32_t value) { FScale = value; }
  std::int32_t ChildPosition() const { return FChildPosition; }
  void SetChildPosition(std::int32_t value) { FChildPosition = value; }
  std::int32_t ValueTypeFlags() const { return FFlags; }
  void SetValueTypeFlags(std::int32_t value) { FFlags = value; }
  std::int32_t ParameterDirection() const { return FParameterDirection; }
  void SetParameterDirection(std::int32_t value) { FParameterDirection = value; }

  // The row the value reads from and writes to; none for a free value.
  TDBXRow* Row() const { return FDbxRow; }
  void SetRow(TDBXRow* row) { FDbxRow = row; }
  const TDBXContext* Context() const { return FDBXContext; }
  // The type changed since the value object was built.
  bool Modified() const { return FModified; }
  void SetModified(bool value) { FModified = value; }

  // The type name that error messages use ("TDBXTypes.INT32").
  UString DataTypeName() const;

 private:
  UString FName;
  UString FCaption;
  std::int32_t FOrdinal = 0;
  std::int32_t FDataType = 0;
  std::int32_t FSubType = 0;
  std::int64_t FSize = 0;
  std::int64_t FPrecision = 0;
  std::int32_t FScale = 0;
  std::int32_t FChildPosition = 0;
  std::int32_t FFlags = 0;
  std::int32_t FParameterDirection = 0;
  TDBXRow* FDbxRow = nullptr;
  const TDBXContext* FDBXContext;
  bool FModified = false;
};

class TDBXParameter : public TDBXValueType {
 public:
  // A parameter created locally is an input.
  explicit TDBXParameter(const TDBXContext* context = nullptr);
  ~TDBXParameter() override;

  // The value object: built now when there is none or when the type changed
  // since it was built (an existing one of a fitting kind stays). Raises
  // TDBXError 3 "Unexpected data type %s" for a type that has no value.
  TDBXValue& Value();
  // Whether a value object exists, without building one.
  bool HasValue() const { return FValue != nullptr; }

  const UString& TypeName() const { return FTypeName; }
  void SetTypeName(UString value) { FTypeName = std::move(value); }

 private:
  std::unique_ptr<TDBXValue> FValue;
  UString FTypeName;
};

}  // namespace wardenix
