#pragma once
// The machine's time-zone rules (daylight saving included) for timestamp
// values: the C library's mktime/localtime_r on Linux (time_zone_linux.cpp),
// the Windows time-zone functions on Windows (time_zone_win.cpp). Times the
// rules cannot place are taken as UTC.
#include <cstdint>
#include <optional>

#include "runtime/datetime.h"

namespace wardenix {

// Seconds since 1970-01-01 00:00 UTC of a local calendar time (the
// millisecond field is ignored).
std::int64_t LocalToUnixSeconds(const DateTimeParts& local);
// The local calendar time of a moment (millisecond field 0).
DateTimeParts UnixSecondsToLocal(std::int64_t unix_seconds);

// Calendar arithmetic in UTC.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day);
std::int64_t UnixSecondsFromCivil(const DateTimeParts& utc);
DateTimeParts CivilFromUnixSeconds(std::int64_t unix_seconds);

// The platform's rules alone: nothing for a time they cannot place.
std::optional<std::int64_t> SystemLocalToUnixSeconds(const DateTimeParts& local);
std::optional<DateTimeParts> SystemUnixSecondsToLocal(std::int64_t unix_seconds);

}  // namespace wardenix
