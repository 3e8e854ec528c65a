#include "dbx/reader.h"

#include "runtime/errors.h"

namespace wardenix {

std::int32_t TDBXReader::GetOrdinal(UStringView name) {
  for (std::int32_t i = 0; i < ColumnCount(); ++i) {
    if (equals_ascii_ci(ValueType(i).Name(), name)) return i;
  }
  return -1;
}

void RaiseInvalidOrdinal(std::int32_t ordinal) {
  throw TDBXError(8, u"Invalid Ordinal:  " + to_ustring(ordinal));
}

}  // namespace wardenix
