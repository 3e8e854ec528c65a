#include "dbx/row.h"

#include "dbx/values.h"
#include "runtime/errors.h"

namespace wardenix {
namespace {

[[noreturn]] void not_implemented() { throw TDBXError(27, u"Feature not implemented"); }

}  // namespace

std::unique_ptr<TDBXValue> TDBXRow::CreateCustomValue(TDBXValueType&) { return nullptr; }

void TDBXRow::SetCallback(const TDBXValueType&, bool) { not_implemented(); }

void TDBXRow::SetJson(const TDBXValueType&, std::string_view) { not_implemented(); }

std::string TDBXRow::GetJson(const TDBXValueType&) { not_implemented(); }

TDBXReader* TDBXRow::GetReader(const TDBXValueType&) { return nullptr; }

}  // namespace wardenix
