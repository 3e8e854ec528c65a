// The command object model over a driver without a wire: preparing once,
// the error table, values that are sent again and read from the row once
// per execution, conversions of the accessors, and commands whose
// connection has closed.
#include <gtest/gtest.h>

#include <functional>

#include "dbx/data_types.h"
#include "dbx/morphic_command.h"
#include "runtime/errors.h"
#include "tests/dbx/fake_driver.h"

namespace wardenix {
namespace {

using namespace TDBXDataTypes;
using test::FakeConnection;
using test::FakeServer;

constexpr std::int32_t kIn = 1, kInOut = 3, kReturn = 4;

struct Model : ::testing::Test {
  FakeServer server;
  FakeConnection connection{server};

  std::unique_ptr<TDBXCommand> method(const char16_t* text, std::vector<test::ParameterSpec> params) {
    server.parameters = std::move(params);
    auto command = connection.CreateCommand();
    command->SetCommandType(kServerMethodCommandType);
    command->SetText(text);
    return command;
  }
  static TDBXValue& value(TDBXCommand& command, std::int32_t ordinal) {
    return command.GetParameters()[ordinal].Value();
  }
};

void expect_dbx_error(const std::function<void()>& action, std::int32_t code, const std::u16string& message) {
  try {
    action();
    ADD_FAILURE() << "no error for " << to_utf8(message);
  } catch (const TDBXError& e) {
    EXPECT_EQ(e.ErrorCode(), code) << to_utf8(message);
    EXPECT_EQ(e.Message(), message);
  }
}

TEST_F(Model, PreparingFillsTheListInTheServersOrderOnce) {
  auto command = method(u"TdtmPrincipal._EhFeriado",
                        {{WideStringType, kIn}, {WideStringType, kIn}, {BooleanType, kReturn}});
  command->Prepare();
  TDBXParameterList& list = command->GetParameters();
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list[2].DataType(), BooleanType);
  EXPECT_EQ(list[2].ParameterDirection(), kReturn);
  expect_dbx_error([&] { command->Prepare(); }, 30, u"Command can only be prepared once");
  EXPECT_EQ(server.events, (std::vector<std::string>{"driver command DataSnap.ServerMethod", "open",
                                                     "prepare TdtmPrincipal._EhFeriado"}));
}

TEST_F(Model, ErrorTable) {
  auto command = method(u"TdtmPrincipal._ExecDireto", {{WideStringType, kIn}, {Int32Type, kReturn}});
  command->Prepare();
  struct Case {
    const char* what;
    std::function<void()> action;
    std::int32_t code;
    std::u16string message;
  };
  const Case cases[] = {
      {"ordinal Count", [&] { command->GetParameters()[2]; }, 8, u"Invalid Ordinal:  2"},
      {"ordinal below 0", [&] { command->GetParameters()[-1]; }, 8, u"Invalid Ordinal:  -1"},
      {"input never set", [&] { command->ExecuteUpdate(); }, 11, u"Parameter not set for column number 0"},
      {"text to an integer", [&] { value(*command, 1).SetWideString(u"x"); }, 7,
       u"TDBXTypes.INT32 value type cannot be accessed as TDBXTypes.WideString value type"},
      {"integer from a text", [&] { value(*command, 0).GetInt32(); }, 7,
       u"TDBXTypes.WideString value type cannot be accessed as TDBXTypes.INT32 value type"},
      {"variant to an integer", [&] { value(*command, 1).SetAsVariant(Variant::from_int32(1)); }, 7,
       u"TDBXTypes.INT32 value type cannot be accessed as TDBXTypes.BYTES value type"},
      {"date to a text", [&] { value(*command, 0).SetAsDateTime(TDateTime{1.0}); }, 7,
       u"TDBXTypes.WideString value type cannot be accessed as TDBXTypes.TIMESTAMP value type"},
      {"date from an integer", [&] { value(*command, 1).GetAsDateTime(); }, 27, u"Feature not implemented"},
      {"Boolean from a text", [&] { value(*command, 0).GetBoolean(); }, 7,
       u"TDBXTypes.WideString value type cannot be accessed as TDBXTypes.BOOL value type"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    expect_dbx_error(c.action, c.code, c.message);
  }
  command->SetText(u"");
  expect_dbx_error([&] { command->ExecuteUpdate(); }, 30, u"No statement to execute");
}

TEST_F(Model, CurrencyGoesToBcdIntegerAndTextButNotToABoolean) {
  auto command = method(u"TdtmPrincipal._X", {{BcdType, kIn}, {CurrencyType, kIn}, {Int32Type, kIn},
                                              {WideStringType, kIn}, {DoubleType, kIn}, {BooleanType, kIn}});
  command->Prepare();
  value(*command, 0).SetAsCurrency(Currency{125000});
  value(*command, 1).SetAsCurrency(Currency{-1});
  value(*command, 2).SetAsCurrency(Currency{1234567});
  value(*command, 3).SetAsCurrency(Currency{10000});
  value(*command, 4).SetAsCurrency(Currency{25000});
  expect_dbx_error([&] { value(*command, 5).SetAsCurrency(Currency{1}); }, 7,
                   u"TDBXTypes.BOOL value type cannot be accessed as TDBXTypes.BCD value type");
  value(*command, 5).SetBoolean(true);
  command->ExecuteUpdate();
  EXPECT_EQ(server.sent.at(0), (std::vector<std::string>{"bcd 12.5", "bcd -0.0001", "int32 123",
                                                         "text 1", "double 2.500000", "true"}));
}

TEST_F(Model, ValuesAreSentAgainUntilSetAndReadFromTheRowOncePerExecution) {
  auto command = method(u"TdtmPrincipal._X", {{WideStringType, kIn}, {Int32Type, kReturn}});
  command->Prepare();
  value(*command, 0).SetWideString(u"abc");
  server.reply = {{1, Variant::from_int32(42)}};
  command->ExecuteUpdate();
  const int reads_before = server.row_reads;
  EXPECT_EQ(value(*command, 1).GetInt32(), 42);
  const int reads_of_one_get = server.row_reads - reads_before;
  EXPECT_EQ(value(*command, 1).GetInt32(), 42);
  EXPECT_EQ(server.row_reads - reads_before, reads_of_one_get);  // the second read is held

  // Not set again: sent again unchanged; the unset return value goes as null.
  server.reply = {};  // a null result
  command->ExecuteUpdate();
  EXPECT_EQ(server.sent.at(0), (std::vector<std::string>{"text abc", "null"}));
  EXPECT_EQ(server.sent.at(1), server.sent.at(0));
  EXPECT_TRUE(value(*command, 1).IsNull());
  EXPECT_EQ(value(*command, 1).GetInt32(), 42);  // the content held before, no error

  value(*command, 0).SetNull();
  command->ExecuteUpdate();
  EXPECT_EQ(server.sent.at(2), (std::vector<std::string>{"null", "null"}));
}

TEST_F(Model, VariantsTravelInTheirStreamForm) {
  auto command = method(u"TdtmPrincipal._Salvar", {{VariantType, kIn}, {VariantType, kIn}, {VariantType, kReturn}});
  command->Prepare();
  value(*command, 0).SetAsVariant(Variant::from_bytes({7, 8, 9}));
  value(*command, 1).SetAsVariant(Variant::Null());
  server.reply = {{2, Variant::from_bytes(WriteOleVariant(Variant::from_int32(7)))}};
  command->ExecuteUpdate();
  EXPECT_EQ(server.sent.at(0),
            (std::vector<std::string>{"stream 3 3 0 0 0 0 0 0 0 7 8 9", "null", "null"}));
  EXPECT_EQ(value(*command, 2).GetAsVariant(), Variant::from_int32(7));
  server.reply = {};
  command->ExecuteUpdate();
  EXPECT_TRUE(value(*command, 2).GetAsVariant().is_null());
}

TEST_F(Model, DatesGoAsTimestampsAndComeBack) {
  auto command = method(u"TdtmPrincipal._Set_UltAtvSM", {{TimeStampType, kIn}, {DateTimeType, kReturn}});
  command->Prepare();
  EXPECT_EQ(value(*command, 1).GetAsDateTime(), TDateTime{0.0});  // never held a value
  value(*command, 0).SetAsDateTime(encode_date_time({2026, 3, 4, 5, 6, 7, 890}));
  server.reply = {{1, Variant::from_int32(1)}};
  command->ExecuteUpdate();
  EXPECT_EQ(server.sent.at(0).at(0), "timestamp 2026-3-4 5:6:7.890");
  EXPECT_NEAR(value(*command, 1).GetAsDateTime().value,
              encode_date_time({2025, 12, 31, 23, 59, 58, 250}).value, 1e-9);
}

TEST_F(Model, AnInOutValueReadsTheServersContent) {
  auto command = method(u"TdtmPrincipal._AtualizaContribuinte",
                        {{VariantType, kIn}, {WideStringType, kInOut}, {Int32Type, kReturn}});
  command->Prepare();
  value(*command, 0).SetAsVariant(Variant::from_int32(1));
  value(*command, 1).SetWideString(u"100");
  server.reply = {{1, Variant::from_string(u"200")}, {2, Variant::from_int32(1)}};
  command->ExecuteUpdate();
  EXPECT_EQ(value(*command, 1).GetWideString(), u"200");
}

TEST_F(Model, ATypeWithoutValueObjectFailsThroughTheErrorHandler) {
  std::vector<std::int32_t> seen;
  connection.Context().SetOnError([&](const TDBXError& e) { seen.push_back(e.ErrorCode()); });
  auto command = method(u"TdtmPrincipal._X", {{UInt32Type, kIn}});
  expect_dbx_error([&] { command->Prepare(); }, 3, u"Unexpected data type 13");
  auto other = method(u"TdtmPrincipal._CarregaVariaveis", {});
  other->Prepare();
  expect_dbx_error([&] { other->Prepare(); }, 30, u"Command can only be prepared once");
  EXPECT_EQ(seen, (std::vector<std::int32_t>{3, 30}));
}

TEST_F(Model, CommandsOfAClosedConnectionFailAndAreClosedOnce) {
  auto command = method(u"TdtmPrincipal._CarregaVariaveis", {});
  command->Prepare();
  command->ExecuteUpdate();
  connection.Close();
  expect_dbx_error([&] { command->ExecuteUpdate(); }, 30, u"Operation failed.  Connection was closed");
  expect_dbx_error([&] { command->Prepare(); }, 30, u"Operation failed.  Connection was closed");
  command.reset();
  EXPECT_EQ(server.events,
            (std::vector<std::string>{"driver command DataSnap.ServerMethod", "open",
                                      "prepare TdtmPrincipal._CarregaVariaveis", "execute", "close",
                                      "disconnect", "freed"}));
}

TEST_F(Model, TheSameCommandTypeKeepsTheDriverCommandAnotherDiscardsIt) {
  auto command = method(u"TdtmPrincipal._CarregaVariaveis", {});
  auto& morphic = dynamic_cast<TDBXMorphicCommand&>(*command);
  command->Prepare();
  TDBXCommand* driver = morphic.DriverCommand();
  command->SetCommandType(kServerMethodCommandType);
  EXPECT_EQ(morphic.DriverCommand(), driver);
  EXPECT_TRUE(command->IsPrepared());
  command->SetCommandType(u"Dbx.MetaData");
  EXPECT_EQ(morphic.DriverCommand(), nullptr);
  EXPECT_FALSE(command->IsPrepared());
  command->Prepare();
  EXPECT_EQ(server.events.at(4), "freed");
  EXPECT_EQ(server.events.at(5), "driver command Dbx.MetaData");
}

TEST_F(Model, ARowSetSizeIsSetWhenTheServerSupportsIt) {
  DatabaseMetaData metadata;
  metadata.SupportsRowSetSize = true;
  connection.UseMetaData(metadata);
  auto command = connection.CreateCommand();
  EXPECT_EQ(dynamic_cast<TDBXMorphicCommand&>(*command).RowSetSize(), 20);
  EXPECT_TRUE(server.events.empty());  // creating a command sends nothing
}

}  // namespace
}  // namespace wardenix
