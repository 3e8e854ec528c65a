#include "runtime/datetime.h"

#include <gtest/gtest.h>

#include "runtime/errors.h"

namespace wardenix {
namespace {

TEST(DateTime, EncodesDaysSinceTheEpochWithTimeAsFraction) {
  struct Case {
    DateTimeParts parts;
    double value;
  };
  const Case cases[] = {
      {{1899, 12, 30, 0, 0, 0, 0}, 0.0},
      {{1900, 1, 1, 0, 0, 0, 0}, 2.0},
      {{2015, 9, 30, 12, 0, 0, 0}, 42277.5},
      {{1899, 12, 29, 6, 0, 0, 0}, -1.25},
      {{2000, 2, 29, 18, 0, 0, 0}, 36585.75},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(encode_date_time(c.parts).value, c.value);
    EXPECT_EQ(decode_date_time(TDateTime{c.value}), c.parts);
  }
}

TEST(DateTime, RejectsDatesOutsideTheCalendar) {
  EXPECT_THROW(encode_date_time({2015, 2, 29}), EConvertError);
  try {
    encode_date_time({0, 1, 1});
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), u"Invalid argument to date encode");
  }
}

TEST(DateTime, FormatsWithTheSystemPatterns) {
  const TDateTime t = encode_date_time({2015, 9, 30, 16, 11, 8, 0});
  FormatSettings br;  // day/month/year and 24-hour time
  EXPECT_EQ(date_time_to_string(t, br), u"30/09/2015 16:11:08");
  FormatSettings us{u"m/d/yyyy", u"h:nn:ss ampm", u'/', u':', u"AM", u"PM"};
  EXPECT_EQ(date_time_to_string(t, us), u"9/30/2015 4:11:08 PM");
  FormatSettings dotted = br;
  dotted.time_separator = u'.';
  EXPECT_EQ(format_date_time(u"hh:mm:ss", t, dotted), u"16.11.08");
  EXPECT_EQ(date_time_to_string(encode_date_time({2015, 9, 30}), br), u"30/09/2015");
}

}  // namespace
}  // namespace wardenix
