#include "dbx/parameter_list.h"

#include <utility>

#include "dbx/reader.h"

namespace wardenix {

TDBXParameterList::TDBXParameterList(RowFactory create_row) : FCreateRow(std::move(create_row)) {}

TDBXParameterList::~TDBXParameterList() {
  // The values refer to the row: they go first.
  FValueTypes.clear();
}

TDBXParameter& TDBXParameterList::GetParameter(std::int32_t ordinal) {
  return const_cast<TDBXParameter&>(std::as_const(*this).GetParameter(ordinal));
}

const TDBXParameter& TDBXParameterList::GetParameter(std::int32_t ordinal) const {
  if (ordinal < 0 || ordinal >= Count() || !FValueTypes[static_cast<std::size_t>(ordinal)]) {
    RaiseInvalidOrdinal(ordinal);
  }
  return *FValueTypes[static_cast<std::size_t>(ordinal)];
}

void TDBXParameterList::SetCount(std::int32_t count) {
  FValueTypes.resize(static_cast<std::size_t>(count < 0 ? 0 : count));
}

void TDBXParameterList::SetParameter(std::int32_t ordinal, std::unique_ptr<TDBXParameter> parameter) {
  if (ordinal < 0 || ordinal >= Count()) RaiseInvalidOrdinal(ordinal);
  if (!FParameterRow && FCreateRow) FParameterRow = FCreateRow();
  parameter->SetOrdinal(ordinal);
  parameter->SetRow(FParameterRow.get());
  FValueTypes[static_cast<std::size_t>(ordinal)] = std::move(parameter);
}

void TDBXParameterList::AddParameter(std::unique_ptr<TDBXParameter> parameter) {
  SetCount(Count() + 1);
  SetParameter(Count() - 1, std::move(parameter));
}

std::int32_t TDBXParameterList::GetOrdinal(UStringView name) const {
  for (std::size_t i = 0; i < FValueTypes.size(); ++i) {
    if (FValueTypes[i] && equals_ascii_ci(FValueTypes[i]->Name(), name)) {
      return static_cast<std::int32_t>(i);
    }
  }
  return -1;
}

}  // namespace wardenix
