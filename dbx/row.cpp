#include "dbx/row.h"

#include "dbx/values.h"
#include "runtime/errors.h"

namespace wardenix {

std::unique_ptr<TDBXValue> TDBXRow::CreateCustomValue(TDBXValueType&) { return nullptr; }

void TDBXRow::SetCallback(const TDBXValueType&, bool) {
  throw TDBXError(27, u"Feature not implemented");
}

TDBXReader* TDBXRow::GetReader(const TDBXValueType&) { return nullptr; }

}  // namespace wardenix
