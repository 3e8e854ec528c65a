#pragma once
// TDateTime: days since 1899-12-30 with the time of day as the fraction, and
// the date-time formatting that the window's caption and log use.
#include <cstdint>

#include "runtime/ustring.h"

namespace wardenix {

struct TDateTime {
  double value = 0.0;
  friend bool operator==(TDateTime, TDateTime) = default;
};

struct DateTimeParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  friend bool operator==(const DateTimeParts&, const DateTimeParts&) = default;
};

// Year 1 to 9999 and a real calendar date; otherwise EConvertError
// "Invalid argument to date encode" (time fields: "Invalid argument to time encode").
TDateTime encode_date_time(const DateTimeParts& parts);
bool try_encode_date_time(const DateTimeParts& parts, TDateTime& out);
DateTimeParts decode_date_time(TDateTime value);
bool is_leap_year(int year);
int days_in_month(int year, int month);

// The parts of the local calendar that formatting needs, in the pattern
// language below (d dd m mm yy yyyy h hh n nn s ss z zzz am/pm ampm, "/" the
// date separator, ":" the time separator, quoted text kept as it stands; an
// "m" right after an hour means minutes).
struct FormatSettings {
  UString short_date_format = u"dd/mm/yyyy";
  UString long_time_format = u"hh:nn:ss";
  char16_t date_separator = u'/';
  char16_t time_separator = u':';
  UString time_am = u"AM";
  UString time_pm = u"PM";
};

UString format_date_time(UStringView pattern, TDateTime value, const FormatSettings& settings);
// Short date, a blank and long time; the time is left out at exactly midnight.
UString date_time_to_string(TDateTime value, const FormatSettings& settings);

// Local calendar time of a moment given in seconds since 1970-01-01 UTC.
DateTimeParts local_parts_from_unix(std::int64_t unix_seconds, int millisecond);

}  // namespace wardenix
