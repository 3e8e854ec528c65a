#include "runtime/ustring.h"

#include <gtest/gtest.h>

namespace wardenix {
namespace {

TEST(Utf8, RoundTripsAcrossPlanes) {
  const UString text = u"Versão € \U0001F600 Conexão";
  EXPECT_EQ(from_utf8(to_utf8(text)), text);
  EXPECT_EQ(to_utf8(u"é"), "\xC3\xA9");
}

TEST(Utf8, MalformedInputBecomesReplacementCharacters) {
  struct Case {
    std::string bytes;
    UString decoded;
  };
  const Case cases[] = {
      {"\xC3", u"\uFFFD"},                  // cut sequence
      {"\xC0\xAF", u"\uFFFD\uFFFD"},        // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // surrogate
      {"a\xFF" "b", u"a\uFFFDb"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(from_utf8(c.bytes), c.decoded);
    EXPECT_FALSE(is_valid_utf8(c.bytes));
  }
  EXPECT_EQ(to_utf8(UString(1, char16_t{0xD800})), "\xEF\xBF\xBD");
}

TEST(AsciiCase, OnlyTheAsciiLettersChange) {
  EXPECT_EQ(ascii_upper(u"dazevaviz.exe"), u"DAZEVAVIZ.EXE");
  EXPECT_EQ(ascii_upper(u"ação"), u"AçãO");
  EXPECT_TRUE(equals_ascii_ci(u"Rez", u"REZ"));
  EXPECT_FALSE(equals_ascii_ci(u"é", u"É"));
}

TEST(FormatMessage, FillsPlaceholdersInOrder) {
  EXPECT_EQ(format_message(u"Invalid Ordinal:  %d", {u"3"}), u"Invalid Ordinal:  3");
  EXPECT_EQ(format_message(u"%s_%d", {u"NAME", u"1"}), u"NAME_1");
  EXPECT_EQ(format_message(u"100%% %s", {}), u"100% %s");
}

TEST(Numbers, DecimalText) {
  EXPECT_EQ(to_ustring(0), u"0");
  EXPECT_EQ(to_ustring(-2147483648LL), u"-2147483648");
  EXPECT_EQ(to_ustring(INT64_MIN), u"-9223372036854775808");
  EXPECT_EQ(to_ustring_unsigned(UINT64_MAX), u"18446744073709551615");
}

}  // namespace
}  // namespace wardenix
