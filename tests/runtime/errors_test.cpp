#include "runtime/errors.h"

#include <gtest/gtest.h>

namespace wardenix {
namespace {

TEST(TDBXError, EmptyMessageNamesTheCode) {
  struct Case {
    int code;
    UString message;
  };
  const Case cases[] = {
      {0, u"DBX Error:  None"},
      {21, u"DBX Error:  Connection failed"},
      {29, u"DBX Error:  Invalid argument"},
      {30, u"DBX Error:  Error Code:  30"},
      {100, u"DBX Error:  No data"},
      {101, u"DBX Error:  Vendor error"},
      {-1, u"DBX Error:  Error Code:  -1"},
  };
  for (const auto& c : cases) {
    const TDBXError e(c.code, u"");
    EXPECT_EQ(e.Message(), c.message) << c.code;
    EXPECT_EQ(e.ErrorCode(), c.code);
  }
  EXPECT_EQ(TDBXError(30, u"No statement to execute").Message(), u"No statement to execute");
}

TEST(Exceptions, CarryClassStatusAndUtf8Text) {
  const EDBClient store(u"Mismatch in datapacket.", 16389);
  const EDatabaseError& as_base = store;
  EXPECT_STREQ(as_base.ClassName(), "EDBClient");
  EXPECT_EQ(store.ErrorCode(), 16389);
  EXPECT_STREQ(EOleException(u"x", -2147467259).ClassName(), "EOleException");
  EXPECT_STREQ(EConvertError(u"Versão").what(), "Versão");
}

}  // namespace
}  // namespace wardenix
