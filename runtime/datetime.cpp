#include "runtime/datetime.h"

#include <cmath>
#include <ctime>

#include "runtime/errors.h"

namespace wardenix {
namespace {

constexpr double kMsPerDay = 86400000.0;

// Days from 0001-01-01 to the given date, 0001-01-01 being day 1.
std::int64_t day_number(int year, int month, int day) {
  std::int64_t days = day;
  for (int m = 1; m < month; ++m) days += days_in_month(year, m);
  const std::int64_t y = year - 1;
  return days + y * 365 + y / 4 - y / 100 + y / 400;
}

// day_number(1899, 12, 30): the epoch of TDateTime.
constexpr std::int64_t kDelta = 693594;

UString two_digits(int v) {
  UString s = to_ustring(v);
  return s.size() < 2 ? u"0" + s : s;
}

UString padded(int v, std::size_t width) {
  UString s = to_ustring(v);
  while (s.size() < width) s.insert(s.begin(), u'0');
  return s;
}

}  // namespace

bool is_leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && is_leap_year(year)) return 29;
  return kDays[month - 1];
}

bool try_encode_date_time(const DateTimeParts& p, TDateTime& out) {
  if (p.year < 1 || p.year > 9999 || p.month < 1 || p.month > 12 || p.day < 1 ||
      p.day > days_in_month(p.year, p.month)) {
    return false;
  }
  if (p.hour < 0 || p.hour > 23 || p.minute < 0 || p.minute > 59 || p.second < 0 ||
      p.second > 59 || p.millisecond < 0 || p.millisecond > 999) {
    return false;
  }
  const auto date = static_cast<double>(day_number(p.year, p.month, p.day) - kDelta);
  const double time =
      ((p.hour * 3600.0 + p.minute * 60.0 + p.second) * 1000.0 + p.millisecond) / kMsPerDay;
  // Before the epoch the time still counts forward from midnight.
  out.value = date >= 0 ? date + time : date - time;
  return true;
}

TDateTime encode_date_time(const DateTimeParts& parts) {
  TDateTime out;
  if (!try_encode_date_time(parts, out)) {
    const bool bad_date = parts.year < 1 || parts.year > 9999 || parts.month < 1 ||
                          parts.month > 12 || parts.day < 1 ||
                          parts.day > days_in_month(parts.year, parts.month);
    throw EConvertError(bad_date ? u"Invalid argument to date encode"
                                 : u"Invalid argument to time encode");
  }
  return out;
}

DateTimeParts decode_date_time(TDateTime value) {
  // Whole milliseconds since the epoch, the fraction taken as positive time of day.
  const double days = std::trunc(value.value);
  const double fraction = std::fabs(value.value - days);
  auto ms_of_day = static_cast<std::int64_t>(std::llround(fraction * kMsPerDay));
  auto day = static_cast<std::int64_t>(days) + kDelta;
  if (ms_of_day >= 86400000) {
    ms_of_day -= 86400000;
    day += value.value >= 0 ? 1 : -1;
  }
  DateTimeParts p;
  p.hour = static_cast<int>(ms_of_day / 3600000);
  p.minute = static_cast<int>(ms_of_day / 60000 % 60);
  p.second = static_cast<int>(ms_of_day / 1000 % 60);
  p.millisecond = static_cast<int>(ms_of_day % 1000);
  if (day < 1) {
    p.year = 0, p.month = 0, p.day = 0;
    return p;
  }
  // Walk 400/100/4/1-year cycles as the proleptic Gregorian calendar repeats.
  std::int64_t d = day - 1;
  std::int64_t year = 1;
  year += 400 * (d / 146097);
  d %= 146097;
  std::int64_t c = d / 36524;
  if (c == 4) c = 3;
  year += 100 * c;
  d -= c * 36524;
  year += 4 * (d / 1461);
  d %= 1461;
  std::int64_t y = d / 365;
  if (y == 4) y = 3;
  year += y;
  d -= y * 365;
  p.year = static_cast<int>(year);
  p.month = 1;
  while (d >= days_in_month(p.year, p.month)) {
    d -= days_in_month(p.year, p.month);
    ++p.month;
  }
  p.day = static_cast<int>(d) + 1;
  return p;
}

UString format_date_time(UStringView pattern, TDateTime value, const FormatSettings& fs) {
  const DateTimeParts p = decode_date_time(value);
  const auto lower = [](char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  };
  const auto run_length = [&](std::size_t i) {
    std::size_t n = 1;
    while (i + n < pattern.size() && lower(pattern[i + n]) == lower(pattern[i])) ++n;
    return n;
  };
  const auto starts_with_ci = [&](std::size_t i, UStringView word) {
    if (i + word.size() > pattern.size()) return false;
    for (std::size_t k = 0; k < word.size(); ++k) {
      if (lower(pattern[i + k]) != word[k]) return false;
    }
    return true;
  };
  bool twelve_hour = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (starts_with_ci(i, u"am/pm") || starts_with_ci(i, u"ampm")) twelve_hour = true;
  }
  UString out;
  bool after_hour = false;
  for (std::size_t i = 0; i < pattern.size();) {
    const char16_t c = lower(pattern[i]);
    if (pattern[i] == u'"' || pattern[i] == u'\'') {
      const char16_t quote = pattern[i];
      std::size_t j = i + 1;
      while (j < pattern.size() && pattern[j] != quote) out.push_back(pattern[j++]);
      i = j + 1;
      continue;
    }
    if (starts_with_ci(i, u"am/pm")) {
      out += p.hour < 12 ? u"am" : u"pm";
      i += 5;
      continue;
    }
    if (starts_with_ci(i, u"ampm")) {
      out += p.hour < 12 ? fs.time_am : fs.time_pm;
      i += 4;
      continue;
    }
    const std::size_t n = run_length(i);
    switch (c) {
      case u'd':
        out += n >= 2 ? two_digits(p.day) : to_ustring(p.day);
        after_hour = false;
        break;
      case u'm':
        if (after_hour) {
          out += n >= 2 ? two_digits(p.minute) : to_ustring(p.minute);
        } else {
          out += n >= 2 ? two_digits(p.month) : to_ustring(p.month);
        }
        after_hour = false;
        break;
      case u'y':
        out += n >= 3 ? padded(p.year, 4) : two_digits(p.year % 100);
        after_hour = false;
        break;
      case u'h': {
        int h = p.hour;
        if (twelve_hour) {
          h %= 12;
          if (h == 0) h = 12;
        }
        out += n >= 2 ? two_digits(h) : to_ustring(h);
        after_hour = true;
        break;
      }
      case u'n':
        out += n >= 2 ? two_digits(p.minute) : to_ustring(p.minute);
        after_hour = false;
        break;
      case u's':
        out += n >= 2 ? two_digits(p.second) : to_ustring(p.second);
        after_hour = false;
        break;
      case u'z':
        out += n >= 3 ? padded(p.millisecond, 3) : to_ustring(p.millisecond);
        break;
      case u'/':
        for (std::size_t k = 0; k < n; ++k) out.push_back(fs.date_separator);
        break;
      case u':':
        for (std::size_t k = 0; k < n; ++k) out.push_back(fs.time_separator);
        break;
      default:
        out.append(pattern.substr(i, n));
        break;
    }
    i += n;
  }
  return out;
}

UString date_time_to_string(TDateTime value, const FormatSettings& settings) {
  const DateTimeParts p = decode_date_time(value);
  UString out = format_date_time(settings.short_date_format, value, settings);
  if (p.hour != 0 || p.minute != 0 || p.second != 0 || p.millisecond != 0) {
    out += u' ';
    out += format_date_time(settings.long_time_format, value, settings);
  }
  return out;
}

DateTimeParts local_parts_from_unix(std::int64_t unix_seconds, int millisecond) {
  const auto t = static_cast<std::time_t>(unix_seconds);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &t);
#else
  localtime_r(&t, &tm);
#endif
  return DateTimeParts{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                       tm.tm_min,         tm.tm_sec,     millisecond};
}

}  // namespace wardenix
