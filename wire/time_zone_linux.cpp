// Time-zone rules through the C library: mktime and localtime_r.
#include <ctime>

#include "wire/time_zone.h"

namespace wardenix {

std::optional<std::int64_t> SystemLocalToUnixSeconds(const DateTimeParts& local) {
  std::tm tm{};
  tm.tm_year = local.year - 1900;
  tm.tm_mon = local.month - 1;
  tm.tm_mday = local.day;
  tm.tm_hour = local.hour;
  tm.tm_min = local.minute;
  tm.tm_sec = local.second;
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  // -1 is also the second before 1970 in a zone at UTC.
  if (t == static_cast<std::time_t>(-1) && tm.tm_year != 69) return std::nullopt;
  return static_cast<std::int64_t>(t);
}

std::optional<DateTimeParts> SystemUnixSecondsToLocal(std::int64_t unix_seconds) {
  const auto t = static_cast<std::time_t>(unix_seconds);
  std::tm tm{};
  if (static_cast<std::int64_t>(t) != unix_seconds || !localtime_r(&t, &tm)) return std::nullopt;
  return DateTimeParts{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                       tm.tm_min,         tm.tm_sec,     0};
}

}  // namespace wardenix
