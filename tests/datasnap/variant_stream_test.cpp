#include "datasnap/variant_stream.h"

#include <gtest/gtest.h>

#include "runtime/errors.h"

namespace wardenix {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes_of(std::initializer_list<int> values) {
  Bytes b;
  for (int v : values) b.push_back(static_cast<std::uint8_t>(v));
  return b;
}

struct Case {
  const char* name;
  Variant value;
  Bytes stream;
};

TEST(VariantStream, FormsByteForByteAndBack) {
  VariantArray ints;
  ints.element_type = varInteger;
  ints.bounds = {{1, 2}};
  ints.elements = {Variant::from_int32(5), Variant::from_int32(-1)};
  VariantArray grid;
  grid.element_type = varVariant;
  grid.bounds = {{0, 1}, {0, 0}};
  grid.elements = {Variant::from_byte(9), Variant::Null()};

  const Case cases[] = {
      {"byte array", Variant::from_bytes({0xAA, 0xBB, 0xCC}),
       bytes_of({0x03, 3, 0, 0, 0, 0, 0, 0, 0, 0xAA, 0xBB, 0xCC})},
      {"int32", Variant::from_int32(7), bytes_of({0x02, 3, 0, 0, 0, 7, 0, 0, 0})},
      {"null", Variant::Null(), bytes_of({0x02, 1, 0, 0, 0})},
      {"empty", Variant(), bytes_of({0x02, 0, 0, 0, 0})},
      {"string", Variant::from_string(u"a\u00e9\u20ac"),
       bytes_of({0x02, 8, 0, 0, 0, 3, 0, 0, 0, 'a', 0, 0xE9, 0, 0xAC, 0x20})},
      {"boolean", Variant::from_bool(true), bytes_of({0x02, 0x0B, 0, 0, 0, 0xFF, 0xFF})},
      {"int16", Variant::from_int16(-2), bytes_of({0x02, 2, 0, 0, 0, 0xFE, 0xFF})},
      {"double", Variant::from_double(2.0), bytes_of({0x02, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40})},
      {"currency", Variant::from_currency(Currency{15000}),
       bytes_of({0x02, 6, 0, 0, 0, 0x98, 0x3A, 0, 0, 0, 0, 0, 0})},
      {"date", Variant::from_date(TDateTime{2.0}),
       bytes_of({0x02, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40})},
      {"single", Variant::from_single(1.5f), bytes_of({0x02, 4, 0, 0, 0, 0, 0, 0xC0, 0x3F})},
      {"byte", Variant::from_byte(200), bytes_of({0x02, 0x11, 0, 0, 0, 200})},
      {"shortint", Variant::from_ordinal(varShortInt, -3), bytes_of({0x02, 0x10, 0, 0, 0, 0xFD})},
      {"word", Variant::from_ordinal(varWord, 65535), bytes_of({0x02, 0x12, 0, 0, 0, 0xFF, 0xFF})},
      {"longword", Variant::from_uint32(4000000000u),
       bytes_of({0x02, 0x13, 0, 0, 0, 0x00, 0x28, 0x6B, 0xEE})},
      {"error", Variant::from_ordinal(varError, 5), bytes_of({0x02, 0x0A, 0, 0, 0, 5, 0, 0, 0})},
      {"int32 array", Variant::from_array(ints),
       bytes_of({0x02, 0x03, 0x20, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 8, 0, 0, 0, 5, 0, 0, 0,
                 0xFF, 0xFF, 0xFF, 0xFF})},
      {"variant grid", Variant::from_array(grid),
       bytes_of({0x02, 0x0C, 0x20, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0,
                 0x11, 0, 0, 0, 9, 1, 0, 0, 0})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(WriteOleVariant(c.value), c.stream);
    EXPECT_EQ(ReadOleVariant(c.stream), c.value);
  }
}

TEST(VariantStream, ReadingEdgeCases) {
  // A byte array with another low bound reads back from 0.
  const Variant back = ReadOleVariant(WriteOleVariant(Variant::from_bytes({1, 2, 3}, 5)));
  ASSERT_TRUE(back.is_byte_array());
  EXPECT_EQ(back.bound(0), (ArrayBound{0, 2}));

  EXPECT_TRUE(ReadOleVariant(bytes_of({0x03, 0, 0, 0, 0, 0, 0, 0, 0})).is_null());
  // Only the low 32 bits of the count count, and a negative one means none.
  EXPECT_TRUE(ReadOleVariant(bytes_of({0x03, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0})).is_null());
  EXPECT_TRUE(ReadOleVariant(bytes_of({0x07, 1, 2})).is_empty());
  EXPECT_TRUE(ReadOleVariant(Bytes{}).is_empty());
  // A marker for a reference is followed by the variant itself.
  EXPECT_EQ(ReadOleVariant(bytes_of({0x02, 0, 0x40, 0, 0, 3, 0, 0, 0, 7, 0, 0, 0})),
            Variant::from_int32(7));

  Bytes form03;
  WriteOleVariantBytes(Variant::Null(), form03);
  EXPECT_EQ(form03, bytes_of({0x03, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(VariantStream, UnsupportedAndTruncatedStreamsRaise) {
  const std::pair<Bytes, UString> bad[] = {
      {bytes_of({0x02, 9, 0, 0, 0}), u"Unsupported variant type: 0009"},
      {bytes_of({0x02, 0x14, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}), u"Unsupported variant type: 0014"},
      {bytes_of({0x02, 8, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 'a', 0}), u"Stream read error"},
      {bytes_of({0x03, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0, 1}), u"Stream read error"},
      {bytes_of({0x02, 0x0C, 0x20, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F}),
       u"Stream read error"},
      {bytes_of({0x02, 3, 0x20, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 9, 0, 0, 0}),
       u"Stream read error"},
  };
  for (const auto& [stream, message] : bad) {
    try {
      ReadOleVariant(stream);
      ADD_FAILURE() << to_utf8(message);
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), message);
    }
  }
  try {
    WriteOleVariant(Variant::from_interface(nullptr, varUnknown));
    ADD_FAILURE() << "an interface was streamed";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), u"Unsupported variant type: 000D");
  }
  // Arrays of variants nested without end are refused, not followed.
  Bytes deep = {0x02};
  for (int i = 0; i < 1000; ++i) {
    const Bytes level = bytes_of({0x0C, 0x20, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    deep.insert(deep.end(), level.begin(), level.end());
  }
  EXPECT_THROW(ReadOleVariant(deep), Exception);
}

}  // namespace
}  // namespace wardenix
