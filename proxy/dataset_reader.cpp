#include "proxy/dataset_reader.h"

#include "runtime/errors.h"

namespace wardenix {

TDBXDataSetReader::TDBXDataSetReader(TClientDataSet* dataset, bool instance_owner)
    : dataset_(dataset), instance_owner_(instance_owner) {
  if (!dataset_) return;
  std::int32_t ordinal = 0;
  for (const TFieldDef& def : dataset_->FieldDefs()) {
    auto column = std::make_unique<TDBXValueType>();
    column->SetName(def.Name);
    column->SetOrdinal(ordinal++);
    columns_.push_back(std::move(column));
  }
}

TDBXDataSetReader::~TDBXDataSetReader() {
  if (instance_owner_) delete dataset_;
}

std::int32_t TDBXDataSetReader::ColumnCount() const {
  return static_cast<std::int32_t>(columns_.size());
}

TDBXValueType& TDBXDataSetReader::ValueType(std::int32_t ordinal) {
  if (ordinal < 0 || ordinal >= ColumnCount()) RaiseInvalidOrdinal(ordinal);
  return *columns_[static_cast<std::size_t>(ordinal)];
}

TDBXValue& TDBXDataSetReader::Value(std::int32_t) { throw TDBXError(27, u"Feature not implemented"); }

bool TDBXDataSetReader::Next() { throw TDBXError(27, u"Feature not implemented"); }

}  // namespace wardenix
