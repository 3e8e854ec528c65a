// Time-zone rules through the Windows time-zone functions, which cover every
// year from 1601 on (the C library's mktime stops at 1970).
#include <windows.h>

#include "wire/time_zone.h"

namespace wardenix {
namespace {

bool in_system_range(const DateTimeParts& p) { return p.year >= 1601 && p.year <= 30827; }

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

}  // namespace

std::optional<std::int64_t> SystemLocalToUnixSeconds(const DateTimeParts& local) {
  if (!in_system_range(local)) return std::nullopt;
  const SYSTEMTIME st = to_system_time(local);
  SYSTEMTIME utc{};
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &st, &utc)) return std::nullopt;
  return UnixSecondsFromCivil(from_system_time(utc));
}

std::optional<DateTimeParts> SystemUnixSecondsToLocal(std::int64_t unix_seconds) {
  const DateTimeParts utc = CivilFromUnixSeconds(unix_seconds);
  if (!in_system_range(utc)) return std::nullopt;
  const SYSTEMTIME st = to_system_time(utc);
  SYSTEMTIME local{};
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &st, &local)) return std::nullopt;
  return from_system_time(local);
}

}  // namespace wardenix
