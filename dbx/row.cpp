#include "dbx/row.h"

#include "dbx/values.h"
#include "runtime/errors.h"

namespace wardenix {

std::unique_ptr<TDBXValue> TDBXRow::CreateCustomValue(TDBXValueType&) { return nullptr; }

void TDBXRow::SetCallback(const TDBXValueType&, bool) {
  throw TDBXError(27, u"Feature not implemented");
}

void TDBXRow::SetJson(const TDBXValueType&, std::string_view) {
  throw TDBXError(27, u"Feature not implemented");
}

std::string TDBXRow::GetJson(const TDBXValueType&) { throw TDBXError(27, u"Feature not implemented"); }

TDBXReader* TDBXRow::GetReader(const TDBXValueType&) { return nullptr; }

}  // namespace wardenix
