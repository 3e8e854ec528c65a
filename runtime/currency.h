#pragma once
// Currency: a signed 64-bit count of ten-thousandths.
#include <cstdint>

namespace wardenix {

struct Currency {
  std::int64_t scaled = 0;  // value times 10000

  static Currency from_double(double value);  // rounded half away from zero
  double to_double() const { return static_cast<double>(scaled) / 10000.0; }
  friend bool operator==(Currency, Currency) = default;
};

}  // namespace wardenix
