#include "dbx/row.h"

#include "dbx/values.h"

namespace wardenix {

std::unique_ptr<TDBXValue> TDBXRow::CreateCustomValue(TDBXValueType&) { return nullptr; }

}  // namespace wardenix
