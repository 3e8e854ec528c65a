#pragma once
// TSQLTimeStamp: a local calendar date and time with milliseconds, as the
// timestamp values of rows carry it.
#include <cstdint>

#include "runtime/datetime.h"

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

// The stamp of a calendar date and time, with `milliseconds` as its fractions.
inline TSQLTimeStamp ToSQLTimeStamp(const DateTimeParts& parts, std::uint32_t milliseconds) {
  TSQLTimeStamp stamp;
  stamp.year = static_cast<std::int16_t>(parts.year);
  stamp.month = static_cast<std::uint16_t>(parts.month);
  stamp.day = static_cast<std::uint16_t>(parts.day);
  stamp.hour = static_cast<std::uint16_t>(parts.hour);
  stamp.minute = static_cast<std::uint16_t>(parts.minute);
  stamp.second = static_cast<std::uint16_t>(parts.second);
  stamp.fractions = milliseconds;
  return stamp;
}

}  // namespace wardenix
