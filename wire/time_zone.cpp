#include "wire/time_zone.h"

namespace wardenix {

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yoe = static_cast<unsigned>(year - era * 400);
  const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::int64_t UnixSecondsFromCivil(const DateTimeParts& p) {
  return DaysFromCivil(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day)) *
             86400 +
         p.hour * 3600 + p.minute * 60 + p.second;
}

DateTimeParts CivilFromUnixSeconds(std::int64_t unix_seconds) {
  std::int64_t days = unix_seconds / 86400;
  std::int64_t rest = unix_seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned day = doy - (153 * mp + 2) / 5 + 1;
  const unsigned month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2);
  DateTimeParts parts;
  parts.year = static_cast<int>(year);
  parts.month = static_cast<int>(month);
  parts.day = static_cast<int>(day);
  parts.hour = static_cast<int>(rest / 3600);
  parts.minute = static_cast<int>(rest / 60 % 60);
  parts.second = static_cast<int>(rest % 60);
  parts.millisecond = 0;
  return parts;
}

std::int64_t LocalToUnixSeconds(const DateTimeParts& local) {
  return SystemLocalToUnixSeconds(local).value_or(UnixSecondsFromCivil(local));
}

DateTimeParts UnixSecondsToLocal(std::int64_t unix_seconds) {
  if (const auto local = SystemUnixSecondsToLocal(unix_seconds)) return *local;
  return CivilFromUnixSeconds(unix_seconds);
}

}  // namespace wardenix
