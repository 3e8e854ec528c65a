#include "runtime/variant.h"

#include <gtest/gtest.h>

namespace wardenix {
namespace {

TEST(Variant, UnassignedAndNullStayDistinct) {
  const Variant unassigned;
  const Variant null = Variant::Null();
  EXPECT_TRUE(unassigned.is_empty());
  EXPECT_FALSE(unassigned.is_null());
  EXPECT_TRUE(null.is_null());
  EXPECT_FALSE(unassigned == null);
  const Variant copy = null;
  EXPECT_EQ(copy.type(), varNull);
}

TEST(Variant, ByteArraysKeepBoundsAndBytes) {
  const Variant v = Variant::from_bytes({1, 2, 3}, 5);
  EXPECT_TRUE(v.is_array());
  EXPECT_TRUE(v.is_byte_array());
  EXPECT_EQ(v.type(), varArray | varByte);
  EXPECT_EQ(v.dim_count(), 1);
  EXPECT_EQ(v.bound(0), (ArrayBound{5, 7}));
  ASSERT_EQ(v.bytes().size(), 3u);
  EXPECT_EQ(v.bytes()[2], 3);
  EXPECT_EQ(Variant::from_bytes({}).bound(0).extent(), 0);
  EXPECT_EQ(v, Variant::from_bytes({1, 2, 3}, 5));
  EXPECT_FALSE(v == Variant::from_bytes({1, 2, 3}, 0));
}

TEST(Variant, ScalarsKeepTheirType) {
  EXPECT_EQ(Variant::from_int32(7).type(), varInteger);
  EXPECT_EQ(Variant::from_int32(-7).as_int64(), -7);
  EXPECT_EQ(Variant::from_string(u"a").as_string(), u"a");
  EXPECT_TRUE(Variant::from_bool(true).as_bool());
  EXPECT_EQ(Variant::from_currency(Currency{12345}).as_currency().scaled, 12345);
  EXPECT_EQ(Variant::from_elements({Variant::Null(), Variant::from_int16(2)}).bound(0),
            (ArrayBound{0, 1}));
}

}  // namespace
}  // namespace wardenix
