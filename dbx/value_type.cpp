#include "dbx/value_type.h"

#include <typeinfo>

#include "dbx/data_types.h"
#include "dbx/row.h"
#include "dbx/values.h"

namespace wardenix {

void TDBXValueType::SetDataType(std::int32_t value) {
  if (value != FDataType) FModified = true;
  FDataType = value;
}

void TDBXValueType::SetSubType(std::int32_t value) {
  if (value != FSubType) FModified = true;
  FSubType = value;
}

UString TDBXValueType::DataTypeName() const { return wardenix::DataTypeName(FDataType); }

TDBXParameter::TDBXParameter(const TDBXContext* context) : TDBXValueType(context) {
  SetParameterDirection(TDBXParameterDirections::InParameter);
}

TDBXParameter::~TDBXParameter() = default;

TDBXValue& TDBXParameter::Value() {
  if (FValue && !Modified()) return *FValue;
  auto rebuilt = CreateValue(*this);
  const bool was_built = FValue != nullptr;
  // A value object of the fitting kind stays as it is.
  if (!was_built) {
    FValue = std::move(rebuilt);
  } else {
    const TDBXValue& held = *FValue;
    const TDBXValue& fresh = *rebuilt;
    if (typeid(held) != typeid(fresh)) FValue = std::move(rebuilt);
  }
  SetModified(false);
  if (was_built && Row()) Row()->ParameterTypeChanged();
  return *FValue;
}

}  // namespace wardenix
