#include "runtime/currency.h"

#include <cmath>

namespace wardenix {

Currency Currency::from_double(double value) {
  return Currency{static_cast<std::int64_t>(std::llround(value * 10000.0))};
}

}  // namespace wardenix
