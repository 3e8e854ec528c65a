// Time-zone rules through the Windows time-zone functions, which cover every
// year from 1601 on (the C library's mktime stops at 1970).
#include <windows.h>

#include "wire/time_zone.h"

namespace wardenix {
namespace {

SYSTEMTIME to_system_time(const DateTimeParts& p) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(p.year);
  st.wMonth = static_cast<WORD>(p.month);
  st.wDay = static_cast<WORD>(p.day);
  st.wHour = static_cast<WORD>(p.hour);
  st.wMinute = static_cast<WORD>(p.minute);
  st.wSecond = static_cast<WORD>(p.second);
  return st;
}

DateTimeParts from_system_time(const SYSTEMTIME& st) {
  return DateTimeParts{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, 0};
}

std::int64_t as_utc(const DateTimeParts& p) {
  return DaysFromCivil(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day)) *
             86400 +
         p.hour * 3600 + p.minute * 60 + p.second;
}

}  // namespace

std::int64_t LocalToUnixSeconds(const DateTimeParts& local) {
  if (local.year < 1601 || local.year > 30827) return as_utc(local);
  const SYSTEMTIME st = to_system_time(local);
  SYSTEMTIME utc{};
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &st, &utc)) return as_utc(local);
  return as_utc(from_system_time(utc));
}

DateTimeParts UnixSecondsToLocal(std::int64_t unix_seconds) {
  const DateTimeParts utc = CivilFromUnixSeconds(unix_seconds);
  if (utc.year < 1601 || utc.year > 30827) return utc;
  const SYSTEMTIME st = to_system_time(utc);
  SYSTEMTIME local{};
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &st, &local)) return utc;
  return from_system_time(local);
}

}  // namespace wardenix
