#pragma once
// Currency: a signed 64-bit count of ten-thousandths.
#include <cmath>
#include <cstdint>

namespace wardenix {

struct Currency {
  std::int64_t scaled = 0;  // value times 10000

  // Rounded half away from zero.
  static Currency from_double(double value) {
    return Currency{static_cast<std::int64_t>(std::llround(value * 10000.0))};
  }
  double to_double() const { return static_cast<double>(scaled) / 10000.0; }
  friend bool operator==(Currency, Currency) = default;
};

}  // namespace wardenix
