#pragma once
// A dataset's parameter list as it travels to a provider and back: a variant
// array with one element per parameter, each an array of name, value, data
// type, parameter type, size, precision and scale. Null is an empty list.
#include <cstdint>
#include <vector>

#include "runtime/ustring.h"
#include "runtime/variant.h"

namespace wardenix {

struct TParam {
  UString Name;
  Variant Value;
  std::int32_t DataType = 0;
  std::int32_t ParamType = 0;
  std::int32_t Size = 0;
  std::int32_t Precision = 0;
  std::int32_t NumericScale = 0;
};

using TParams = std::vector<TParam>;

Variant PackageParams(const TParams& Params);
// Sets the parameters named in `Source` (added when missing); anything that
// is not such an array leaves the list unchanged.
void UnpackParams(const Variant& Source, TParams& Params);

}  // namespace wardenix
