#pragma once
// TSQLTimeStamp: a local calendar date and time with milliseconds, as the
// timestamp values of rows carry it.
#include <cstdint>

namespace wardenix {

struct TSQLTimeStamp {
  std::int16_t year = 0;
  std::uint16_t month = 0;
  std::uint16_t day = 0;
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
  std::uint32_t fractions = 0;  // milliseconds
  friend bool operator==(const TSQLTimeStamp&, const TSQLTimeStamp&) = default;
};

}  // namespace wardenix
