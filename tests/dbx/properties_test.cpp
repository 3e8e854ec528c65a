#include "dbx/properties.h"

#include <gtest/gtest.h>

#include "runtime/errors.h"

namespace wardenix {
namespace {

TEST(Properties, NamesIgnoreCaseAndKeepTheirOrder) {
  TDBXProperties p{{u"Port", u"3063"}, {u"RIDaduvorod", u"58013742QHZVMTRB"}};
  p.SetValue(u"hostname", u"server");
  p.SetValue(u"PORT", u"211");
  EXPECT_EQ(p.GetValue(u"port"), u"211");
  EXPECT_EQ(p.GetValue(u"Missing"), u"");
  ASSERT_EQ(p.Pairs().size(), 3u);
  EXPECT_EQ(p.Pairs()[0].first, u"Port");
  EXPECT_EQ(p.Pairs()[2].first, u"hostname");
}

TEST(Properties, StrictIntegerConversion) {
  const std::pair<UStringView, std::int32_t> good[] = {
      {u"0", 0},           {u"3063", 3063},          {u"-5", -5},
      {u"+7", 7},          {u"  12", 12},            {u"$FF", 255},
      {u"0x10", 16},       {u"2147483647", INT32_MAX}, {u"-2147483648", INT32_MIN},
      {u"$FFFFFFFF", -1},
  };
  for (const auto& [text, value] : good) EXPECT_EQ(StrToInt(text), value) << to_utf8(text);
  for (UStringView bad : {u"", u" ", u"12 ", u"1.5", u"abc", u"2147483648", u"-", u"0x"}) {
    try {
      StrToInt(bad);
      ADD_FAILURE() << to_utf8(bad);
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), u"'" + UString(bad) + u"' is not a valid integer value");
    }
  }
}

}  // namespace
}  // namespace wardenix
