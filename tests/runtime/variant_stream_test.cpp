#include "runtime/variant_stream.h"

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

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
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
  ints.bytes = bytes_of({5, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF});
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
      {bytes_of({0x02, 8, 0, 0, 0, 5, 0, 0, 0, 'a', 0}), u"Stream read error"},
      {bytes_of({0x03, 5, 0, 0, 0, 0, 0, 0, 0, 1}), u"Stream read error"},
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

// The raw memory of an array of `values`, each `size` bytes little-endian.
Bytes raw(std::initializer_list<std::uint64_t> values, int size) {
  Bytes b;
  for (const std::uint64_t v : values) {
    for (int i = 0; i < size; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  return b;
}

Variant array_of(VarType type, std::vector<ArrayBound> bounds, Bytes bytes) {
  VariantArray array;
  array.element_type = type;
  array.bounds = std::move(bounds);
  array.bytes = std::move(bytes);
  return Variant::from_array(std::move(array));
}

TEST(VariantStream, ArraysOfFixedSizeTypesRoundTripInTheirRawMemory) {
  struct ArrayCase {
    const char* name;
    Variant value;
    std::vector<Variant> elements;  // row-major
  };
  const ArrayCase cases[] = {
      {"shortint", array_of(varShortInt, {{-1, 1}}, raw({0x80, 0xFF, 0x7F}, 1)),
       {Variant::from_ordinal(varShortInt, -128), Variant::from_ordinal(varShortInt, -1),
        Variant::from_ordinal(varShortInt, 127)}},
      {"byte, two dimensions", array_of(varByte, {{0, 1}, {5, 6}}, raw({1, 2, 3, 4}, 1)),
       {Variant::from_byte(1), Variant::from_byte(2), Variant::from_byte(3), Variant::from_byte(4)}},
      {"smallint", array_of(varSmallint, {{0, 1}}, raw({0x8000, 0x7FFF}, 2)),
       {Variant::from_int16(-32768), Variant::from_int16(32767)}},
      {"word", array_of(varWord, {{0, 0}}, raw({0xFFFF}, 2)), {Variant::from_ordinal(varWord, 65535)}},
      {"boolean", array_of(varBoolean, {{0, 1}}, raw({0xFFFF, 0}, 2)),
       {Variant::from_bool(true), Variant::from_bool(false)}},
      {"integer", array_of(varInteger, {{10, 11}}, raw({0x80000000, 7}, 4)),
       {Variant::from_int32(INT32_MIN), Variant::from_int32(7)}},
      {"longword", array_of(varLongWord, {{0, 0}}, raw({0xEE6B2800}, 4)),
       {Variant::from_uint32(4000000000u)}},
      {"single", array_of(varSingle, {{0, 0}}, raw({0x3FC00000}, 4)), {Variant::from_single(1.5f)}},
      {"double, three dimensions",
       array_of(varDouble, {{0, 0}, {0, 1}, {1, 1}}, raw({0x4000000000000000, 0xBFF0000000000000}, 8)),
       {Variant::from_double(2.0), Variant::from_double(-1.0)}},
      {"currency", array_of(varCurrency, {{0, 0}}, raw({15000}, 8)),
       {Variant::from_currency(Currency{15000})}},
      {"date", array_of(varDate, {{0, 0}}, raw({0x4000000000000000}, 8)),
       {Variant::from_date(TDateTime{2.0})}},
      {"empty", array_of(varInteger, {{0, -1}}, {}), {}},
  };
  for (const ArrayCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes stream = WriteOleVariant(c.value);
    const Variant back = ReadOleVariant(stream);
    EXPECT_EQ(back, c.value);
    ASSERT_NE(back.array(), nullptr);
    const VariantArray& array = *back.array();
    EXPECT_EQ(back.type(), c.value.type());
    EXPECT_EQ(array.bounds, c.value.array()->bounds);
    EXPECT_TRUE(array.elements.empty()) << "no Variant per element";
    EXPECT_EQ(array.bytes.size(), c.elements.size() * RawElementSize(array.element_type));
    ASSERT_EQ(array.count(), c.elements.size());
    for (std::size_t i = 0; i < c.elements.size(); ++i) EXPECT_EQ(array.element(i), c.elements[i]) << i;
  }

  // Inside an array of variants, beside values of other kinds.
  const Variant ints = array_of(varInteger, {{1, 2}}, raw({5, 0xFFFFFFFF}, 4));
  const Variant mixed = Variant::from_elements({ints, Variant::from_string(u"a\u20ac"), Variant::Null()});
  const Variant back = ReadOleVariant(WriteOleVariant(mixed));
  EXPECT_EQ(back, mixed);
  EXPECT_EQ(back.array()->elements[0].array()->element(1), Variant::from_int32(-1));
}

// Delivers a stream and counts the bytes taken from it.
class CountingSource final : public ByteSource {
 public:
  explicit CountingSource(Bytes bytes) : inner_(std::move(bytes)) {}
  std::size_t Read(std::span<std::uint8_t> into) override {
    const std::size_t n = inner_.Read(into);
    taken += n;
    return n;
  }
  bool AtEnd() const override { return inner_.AtEnd(); }
  std::size_t taken = 0;

 private:
  MemoryByteSource inner_;
};

TEST(VariantStream, WhatExceedsTheLimitIsRefusedBeforeItsBytesAreRead) {
  constexpr std::uint64_t kLimit = 64;
  // Texts count two bytes per character, an array of variants the Variants
  // that hold its elements.
  const std::uint32_t too_many_variants = kLimit / sizeof(Variant) + 1;
  struct LimitCase {
    const char* name;
    Bytes prefix;  // up to the count or size that decides
    std::size_t body;  // bytes behind it in a stream that is whole
    bool refused;
  };
  const LimitCase cases[] = {
      {"bytes at the limit", bytes_of({0x03, 64, 0, 0, 0, 0, 0, 0, 0}), 64, false},
      {"bytes above it", bytes_of({0x03, 65, 0, 0, 0, 0, 0, 0, 0}), 65, true},
      {"text at the limit", bytes_of({0x02, 8, 0, 0, 0, 32, 0, 0, 0}), 64, false},
      {"text above it", bytes_of({0x02, 8, 0, 0, 0, 33, 0, 0, 0}), 66, true},
      {"int16 array at the limit",
       bytes_of({0x02, 2, 0x20, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 31, 0, 0, 0, 64, 0, 0, 0}), 64, false},
      {"double array above it",
       bytes_of({0x02, 5, 0x20, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 72, 0, 0, 0}), 72, true},
      {"array of variants above it",
       concat({bytes_of({0x02, 0x0C, 0x20, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}),
               raw({too_many_variants - 1}, 4)}),
       4 * too_many_variants, true},
  };
  for (const LimitCase& c : cases) {
    SCOPED_TRACE(c.name);
    CountingSource source(concat({c.prefix, Bytes(c.body, 0)}));
    if (!c.refused) {
      EXPECT_NO_THROW(ReadOleVariant(source, kLimit));
      continue;
    }
    try {
      ReadOleVariant(source, kLimit);
      ADD_FAILURE() << "taken in";
    } catch (const TDBXError& e) {
      EXPECT_EQ(e.ErrorCode(), 2);
      EXPECT_NE(e.Message().find(u"more than the 64 bytes"), UString::npos) << to_utf8(e.Message());
    }
    EXPECT_EQ(source.taken, c.prefix.size()) << "nothing behind the size was read";
  }

  // Values each within the limit are refused once together they pass it.
  const Variant two_texts =
      Variant::from_elements({Variant::from_string(UString(10, u'x')), Variant::from_string(UString(20, u'y'))});
  const Bytes stream = WriteOleVariant(two_texts);
  const std::uint64_t elements = 2 * sizeof(Variant);
  EXPECT_EQ(ReadOleVariant(stream, elements + 60), two_texts);
  EXPECT_THROW(ReadOleVariant(stream, elements + 59), TDBXError);
}

}  // namespace
}  // namespace wardenix
