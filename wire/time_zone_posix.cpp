// Time-zone rules through the C library: mktime and localtime_r.
#include <ctime>

#include "wire/time_zone.h"

namespace wardenix {
namespace {

std::int64_t as_utc(const DateTimeParts& p) {
  return DaysFromCivil(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day)) *
             86400 +
         p.hour * 3600 + p.minute * 60 + p.second;
}

}  // namespace

std::int64_t LocalToUnixSeconds(const DateTimeParts& local) {
  std::tm tm{};
  tm.tm_year = local.year - 1900;
  tm.tm_mon = local.month - 1;
  tm.tm_mday = local.day;
  tm.tm_hour = local.hour;
  tm.tm_min = local.minute;
  tm.tm_sec = local.second;
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  if (t == static_cast<std::time_t>(-1) && tm.tm_year != 69) return as_utc(local);
  return static_cast<std::int64_t>(t);
}

DateTimeParts UnixSecondsToLocal(std::int64_t unix_seconds) {
  const auto t = static_cast<std::time_t>(unix_seconds);
  std::tm tm{};
  if (static_cast<std::int64_t>(t) != unix_seconds || !localtime_r(&t, &tm)) {
    return CivilFromUnixSeconds(unix_seconds);
  }
  return DateTimeParts{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                       tm.tm_min,         tm.tm_sec,     0};
}

}  // namespace wardenix
