// Tables both ways and the server's requests during an execution, against a
// scripted server: input tables with their data blocks, the server's "next"
// and more_blob requests for them, tables of a reply attached to table
// parameters, next_result, and callbacks.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <stdexcept>
#include <variant>

#include "datasnap/client_connection.h"
#include "dbx/command.h"
#include "dbx/data_types.h"
#include "dbx/values.h"
#include "tests/datasnap/client_fixture.h"
#include "tests/datasnap/scripted_server.h"

namespace wardenix {
namespace {

using test::ExecuteReply;
using test::Json;
using test::ParameterItem;
using test::PrepareReply;
using test::Request;
using test::RowBuilder;
using test::ScriptedServer;
using test::ServerSide;
using namespace TDBXDataTypes;

// A table of text and integer columns whose rows the test gives.
class ListReader final : public TDBXReader {
 public:
  using Cell = std::optional<std::variant<std::int32_t, UString>>;

  ListReader(std::vector<std::pair<UString, std::int32_t>> columns,
             std::vector<std::vector<Cell>> rows)
      : rows_(std::move(rows)) {
    for (const auto& [name, data_type] : columns) {
      auto type = std::make_unique<TDBXValueType>();
      type->SetName(name);
      type->SetOrdinal(static_cast<std::int32_t>(types_.size()));
      type->SetDataType(data_type);
      type->SetParameterDirection(1);
      values_.push_back(CreateValue(*type));
      types_.push_back(std::move(type));
    }
  }
  std::int32_t ColumnCount() const override { return static_cast<std::int32_t>(types_.size()); }
  TDBXValueType& ValueType(std::int32_t i) override { return *types_.at(static_cast<std::size_t>(i)); }
  TDBXValue& Value(std::int32_t i) override { return *values_.at(static_cast<std::size_t>(i)); }
  bool Next() override {
    if (next_ >= rows_.size()) return false;
    const auto& row = rows_[next_++];
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (!row[i]) {
        values_[i]->SetNull();
      } else if (const auto* n = std::get_if<std::int32_t>(&*row[i])) {
        values_[i]->SetInt32(*n);
      } else {
        values_[i]->SetWideString(std::get<UString>(*row[i]));
      }
    }
    return true;
  }

 private:
  std::vector<std::unique_ptr<TDBXValueType>> types_;
  std::vector<std::unique_ptr<TDBXValue>> values_;
  std::vector<std::vector<Cell>> rows_;
  std::size_t next_ = 0;
};

// A reader whose only value cannot be encoded.
class FailingReader final : public TDBXReader {
 public:
  FailingReader() : value_(type_) {
    type_.SetName(u"Broken");
    type_.SetDataType(Int32Type);
  }
  std::int32_t ColumnCount() const override { return 1; }
  TDBXValueType& ValueType(std::int32_t) override { return type_; }
  TDBXValue& Value(std::int32_t) override { return value_; }
  bool Next() override { return true; }

 private:
  struct BrokenValue final : TDBXValue {
    explicit BrokenValue(TDBXValueType& type) : TDBXValue(type) { SetNullState(false); }
    void WriteTo(TDBXRow&) override { throw std::runtime_error("the column broke"); }
  };
  TDBXValueType type_;
  BrokenValue value_;
};

// A bare {"data":[count,bytes]} object from the client; the bytes go to
// `bytes`, the count as sent is returned.
std::int64_t read_bare_data(ServerSide& side, std::string& bytes) {
  TDBXJSonStreamReader& reader = side.Reader();
  reader.Next(JsonToken::kObjectStart);
  if (reader.ReadStringCode() != JsonKeyword::kData) throw std::runtime_error("data expected");
  reader.Next(JsonToken::kNameSeparator);
  reader.Next(JsonToken::kArrayStart);
  const std::int64_t count = reader.ReadLong();
  bytes.clear();
  if (reader.Next() == JsonToken::kValueSeparator) {
    std::vector<std::uint8_t> raw;
    reader.ReadDataBytes(raw, static_cast<std::uint64_t>(count < 0 ? -count : count));
    bytes.assign(raw.begin(), raw.end());
    reader.Next(JsonToken::kArrayEnd);
  }
  reader.Next(JsonToken::kObjectEnd);
  return count;
}

// The texts of the first column (and the integers of the second) of the
// rows in a block.
std::vector<UString> texts_of_block(const std::string& bytes, std::int32_t columns) {
  TDBXRowBuffer rows(0, false, false);
  rows.SetColumnCount(columns);
  rows.LoadRow(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  std::vector<UString> texts;
  bool more = rows.ReadSize() > 0;
  while (more) {
    texts.push_back(rows.GetNull(0) ? u"<null>" : rows.ReadString(0));
    more = rows.NextRow();
  }
  return texts;
}

// The next request other than reader_close, which comes unannounced with it.
Request request_after_closes(ServerSide& side) {
  Request request = side.ReadRequest();
  while (request.method == u"reader_close") request = side.ReadRequest();
  return request;
}

// {"table":[...]} of one or more columns [name, type], with handle 7.
std::string table_object(int row_handle, const std::vector<std::pair<std::string, int>>& columns) {
  std::string text = R"({"table":[{"fields":[7,false,)" + std::to_string(row_handle) +
                     R"(,1,true]},{"columns":[)" + std::to_string(columns.size());
  for (const auto& [name, type] : columns) {
    text += R"(,[")" + name + R"(",)" + std::to_string(type) + ",0,0,0,0,0]";
  }
  return text + "]}]}";
}

std::string int_rows(const std::vector<std::int32_t>& values) {
  RowBuilder rows;
  for (const std::int32_t v : values) rows->WriteInt32(v);
  return rows.Bytes();
}

std::string last_block(const std::string& rows) {
  return R"({"data":[-)" + std::to_string(rows.size()) + (rows.empty() ? "" : "," + rows) + "]}";
}

std::vector<std::int32_t> ints_of(TDBXReader* reader) {
  std::vector<std::int32_t> values;
  if (!reader) return values;
  while (reader->Next()) values.push_back(reader->Value(0).GetInt32());
  return values;
}

class Callback final : public TDBXCallback {
 public:
  explicit Callback(std::function<std::optional<std::string>(std::string_view)> body)
      : body_(std::move(body)) {}
  std::optional<std::string> Execute(std::string_view argument) override { return body_(argument); }

 private:
  std::function<std::optional<std::string>(std::string_view)> body_;
};

using Tables = test::ClientFixture;

const std::string kDataSetPrepare = PrepareReply(7, {ParameterItem(TableType, 1, "DataSet")});

TEST_F(Tables, ATableWithoutRowsIsItsDescriptionAndAnEmptyBlock) {
  Request execute;
  start([&](ServerSide& side) {
    side.ReadRequest();
    side.Send(kDataSetPrepare);
    execute = side.ReadRequest();
    side.Send(ExecuteReply("\xC0"));
  });
  auto command = method(u"TdtmPrincipal.sqlAuxAfterClose");
  command->Prepare();
  ListReader table({{u"Nome", WideStringType}, {u"Codigo", Int32Type}}, {});
  command->GetParameters()[0].Value().SetDBXReader(&table, false);
  command->ExecuteUpdate();
  command.reset();
  finish();
  // The row carries the table's reference number; the table and its block
  // follow, side by side, in the same flush.
  EXPECT_NE(server->Received().find(
                R"({"method":"execute","params":[{"handle":[7]},{"data":[2,)" "\x61\x01"
                R"(]},{"table":[{"fields":[7,false,1,0,true]},{"columns":[2,["Nome",26,0,0,0,0,0,1],)"
                R"(["Codigo",6,0,0,0,0,0,1]]}]}{"data":[0]}]})"),
            std::string::npos)
      << server->Received();
  EXPECT_EQ(execute.params.items.size(), 4u);
}

TEST_F(Tables, RowsBeyondOneBlockAreSentAtTheServersNextRequests) {
  // 1000-character texts: about thirty rows fit a block.
  std::vector<std::vector<ListReader::Cell>> rows;
  std::vector<UString> expected;
  for (int i = 0; i < 70; ++i) {
    UString text(1000, static_cast<char16_t>(u'a' + i % 26));
    text += to_ustring(i);
    expected.push_back(text);
    rows.push_back({text, i});
  }
  rows.push_back({std::nullopt, std::nullopt});
  expected.push_back(u"<null>");
  std::vector<std::int64_t> counts;
  std::vector<UString> received;
  start([&](ServerSide& side) {
    side.ReadRequest();
    side.Send(kDataSetPrepare);
    const Request execute = side.ReadRequest();
    const Json& first = execute.params[3][u"data"];
    counts.push_back(first.count);
    for (auto& t : texts_of_block(first.bytes, 2)) received.push_back(t);
    std::int64_t count = first.count;
    while (count > 0) {
      side.Send(R"({"next":[1,)" + std::to_string(received.size()) + ",7]}");
      std::string bytes;
      count = read_bare_data(side, bytes);
      counts.push_back(count);
      for (auto& t : texts_of_block(bytes, 2)) received.push_back(t);
    }
    side.Send(ExecuteReply("\xC0"));
  });
  auto command = method(u"TdtmPrincipal.sqlAuxAfterClose");
  command->Prepare();
  ListReader table({{u"Texto", WideStringType}, {u"N", Int32Type}}, rows);
  command->GetParameters()[0].Value().SetDBXReader(&table, false);
  command->ExecuteUpdate();
  command.reset();
  finish();
  EXPECT_EQ(received, expected);
  ASSERT_GE(counts.size(), 3u);
  for (std::size_t i = 0; i + 1 < counts.size(); ++i) {
    EXPECT_GT(counts[i], 0);
    EXPECT_LE(counts[i], 30720);
  }
  EXPECT_LT(counts.back(), 0);
}

// More_blob for a command with a long text parameter (ordinal 1) and a table
// (ordinal 0) whose only row holds a long text: the row handle chooses.
struct BlobCase {
  const char* name;
  int row_handle;
  int ordinal;
  char16_t expected_letter;  // '\0' when nothing is left to pull
};

class MoreBlobOfInputs : public Tables, public ::testing::WithParamInterface<BlobCase> {};

TEST_P(MoreBlobOfInputs, TheRowHandleNamesTheTableOrTheParameterRow) {
  const BlobCase c = GetParam();
  const UString table_text(40000, u't');
  const UString parameter_text(40000, u'p');
  std::string pulled;
  std::int64_t block_count = 0;
  start([&](ServerSide& side) {
    side.ReadRequest();
    side.Send(PrepareReply(7, {ParameterItem(TableType, 1, "DataSet"),
                               ParameterItem(WideStringType, 1, "Texto")}));
    const Request execute = side.ReadRequest();
    block_count = execute.params[3][u"data"].count;
    std::int64_t count = 1;
    while (count > 0) {
      side.Send(R"({"more_blob":[7,1,0,)" + std::to_string(c.ordinal) + "," +
                std::to_string(c.row_handle) + "]}");
      std::string bytes;
      count = read_bare_data(side, bytes);
      pulled += bytes;
    }
    side.Send(ExecuteReply("\xC0\xC0"));
  });
  auto command = method(u"TdtmPrincipal.sqlAuxAfterClose");
  command->Prepare();
  ListReader table({{u"Texto", WideStringType}}, {{table_text}});
  command->GetParameters()[0].Value().SetDBXReader(&table, false);
  command->GetParameters()[1].Value().SetWideString(parameter_text);
  command->ExecuteUpdate();
  command.reset();
  finish();
  // The table's only row left its text unfinished: the block is the last.
  EXPECT_LT(block_count, 0);
  if (c.expected_letter == u'\0') {
    EXPECT_EQ(pulled, "");
  } else {
    EXPECT_GT(pulled.size(), 1000u);
    EXPECT_EQ(pulled, std::string(pulled.size(), static_cast<char>(c.expected_letter)));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MoreBlobOfInputs,
    ::testing::Values(BlobCase{"TableRowHandle", 1, 0, u't'},
                      BlobCase{"ParameterRow", 0, 1, u'p'},
                      BlobCase{"HandleBeyondTheTables", 2, 1, u'p'},
                      BlobCase{"TableColumnWithoutRest", 1, 1, u'\0'}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(Tables, ARowThatCannotBeEncodedRaisesCode30WithItsMessage) {
  start([&](ServerSide& side) {
    side.ReadRequest();
    side.Send(kDataSetPrepare);
  });
  auto command = method(u"TdtmPrincipal.sqlAuxBeforeOpen");
  command->Prepare();
  FailingReader table;
  command->GetParameters()[0].Value().SetDBXReader(&table, false);
  try {
    command->ExecuteUpdate();
    FAIL();
  } catch (const TDBXError& e) {
    EXPECT_EQ(e.ErrorCode(), 30);
    EXPECT_EQ(e.Message(), u"the column broke");
  }
  command.reset();
  connection->Close();
  server->Finish();
}

// Tables of a reply: to the output, input/output and return-value table
// parameters in turn, else the command's result.
struct AttachCase {
  const char* name;
  std::vector<std::pair<int, int>> parameters;  // type and direction
  int tables;
  std::optional<int> error;  // the code raised, when the tables do not fit
};

class ReplyTables : public Tables, public ::testing::WithParamInterface<AttachCase> {};

TEST_P(ReplyTables, GoToTheTableParametersInTurnOrBecomeTheResult) {
  const AttachCase c = GetParam();
  start([&](ServerSide& side) {
    std::vector<std::string> items;
    for (const auto& [type, direction] : c.parameters) {
      items.push_back(ParameterItem(type, direction, "P" + std::to_string(items.size())));
    }
    side.ReadRequest();
    side.Send(PrepareReply(7, items));
    side.ReadRequest();
    std::string reply = R"({"result":[)";
    for (int t = 0; t < c.tables; ++t) reply += table_object(10 + t, {{"N", Int32Type}}) + ",";
    reply += R"({"data":[)" + ServerSide::Data(std::string(c.parameters.size(), '\xC0')) + "]}]";
    for (int t = 0; t < c.tables; ++t) reply += (t ? "," : "") + last_block(int_rows({t * 10, t * 10 + 1}));
    side.Send(reply + "}");
  });
  auto command = method(u"TdtmPrincipal._Tabelas");
  command->Prepare();
  TDBXParameterList& parameters = command->GetParameters();
  for (std::int32_t i = 0; i < parameters.Count(); ++i) {
    if (parameters[i].ParameterDirection() == 1 || parameters[i].ParameterDirection() == 3) {
      parameters[i].Value().SetNull();
    }
  }
  if (c.error) {
    try {
      command->ExecuteQuery();
      FAIL();
    } catch (const TDBXError& e) {
      EXPECT_EQ(e.ErrorCode(), *c.error);
      EXPECT_EQ(e.Message(), u"Command needs more DBXReader parameters");
    }
  } else {
    TDBXReader* result = command->ExecuteQuery();
    int table = 0;
    for (std::int32_t i = 0; i < parameters.Count(); ++i) {
      const bool slot = parameters[i].DataType() == TableType && parameters[i].ParameterDirection() != 1;
      if (!slot) continue;
      EXPECT_FALSE(parameters[i].Value().IsNull()) << i;
      EXPECT_EQ(ints_of(parameters[i].Value().GetDBXReader()),
                (std::vector<std::int32_t>{table * 10, table * 10 + 1}))
          << i;
      ++table;
    }
    // Without a slot the first table is the command's result.
    if (table == 0) {
      EXPECT_EQ(ints_of(result), (std::vector<std::int32_t>{0, 1}));
    }
  }
  command.reset();
  finish();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplyTables,
    ::testing::Values(
        AttachCase{"ReturnTableOnly", {{TableType, 4}}, 1, std::nullopt},
        AttachCase{"OutputThenReturn", {{Int32Type, 1}, {TableType, 2}, {TableType, 4}}, 2, std::nullopt},
        AttachCase{"InOutTakesOne", {{TableType, 3}}, 1, std::nullopt},
        AttachCase{"NoTableParameterGivesTheResult", {{Int32Type, 1}}, 1, std::nullopt},
        AttachCase{"MoreTablesThanParameters", {{TableType, 4}}, 2, 30}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(Tables, NextResultReadsTheFollowingTablesUntilTheServerHasNone) {
  std::vector<Request> requests;
  start([&](ServerSide& side) {
    side.ReadRequest();
    side.Send(PrepareReply(7, {}));
    side.ReadRequest();
    side.Send(R"({"result":[{"rows":[1]},)" + table_object(3, {{"N", Int32Type}}) + "]," +
              last_block(int_rows({1, 2})) + "}");
    requests.push_back(request_after_closes(side));
    side.Send(R"({"result":[true,4,false,0]})" + table_object(4, {{"N", Int32Type}}) +
              last_block(int_rows({3, 4, 5})));
    requests.push_back(request_after_closes(side));
    side.Send(R"({"result":[false,0,false,-1]})");
  });
  auto command = method(u"TdtmPrincipal._Varias");
  command->Prepare();
  EXPECT_EQ(ints_of(command->ExecuteQuery()), (std::vector<std::int32_t>{1, 2}));
  EXPECT_EQ(ints_of(command->GetNextReader()), (std::vector<std::int32_t>{3, 4, 5}));
  EXPECT_EQ(command->GetRowsAffected(), 4);
  EXPECT_EQ(command->GetNextReader(), nullptr);
  command.reset();
  finish();
  ASSERT_EQ(requests.size(), 2u);
  for (const Request& r : requests) {
    EXPECT_EQ(r.method, u"next_result");
    EXPECT_EQ(r.params[0].number, 7);
  }
  // Closing the first table went out with the first next_result.
  EXPECT_NE(server->Received().find(R"({"method":"reader_close","params":[3,7]}{"method":"next_result")"),
            std::string::npos);
}

TEST_F(Tables, ACommandWithoutAServerHandleAsksForNoNextResult) {
  start([](ServerSide&) {});
  auto command = method(u"TdtmPrincipal._Varias");
  EXPECT_EQ(command->GetNextReader(), nullptr);
  command.reset();
  finish();
  EXPECT_EQ(server->Received().find("next_result"), std::string::npos);
}

// The server's callback requests: [ordinal, argument] for parameter 1, a
// callback, beside an integer at ordinal 0.
struct CallbackCase {
  const char* name;
  std::string request;  // the raw JSON the server sends
  std::function<std::optional<std::string>(std::string_view)> body;
  std::string answer;       // what the client writes back, empty when it raises
  std::optional<int> code;  // the code raised
};

class Callbacks : public Tables, public ::testing::WithParamInterface<CallbackCase> {};

TEST_P(Callbacks, AreAnsweredOrRaiseCode32) {
  const CallbackCase& c = GetParam();
  std::string row;
  start([&](ServerSide& side) {
    side.ReadRequest();
    side.Send(PrepareReply(7, {ParameterItem(Int32Type, 1, "N"), ParameterItem(CallbackType, 1, "Aviso")}));
    row = side.ReadRequest().params[1][u"data"].bytes;
    side.Send(R"({"callback":[)" + std::to_string(c.request.size()) + "," + c.request + "]}");
    if (c.code) return;
    // The answer is taken in; its bytes are looked at in what was received.
    TDBXJSonStreamReader& reader = side.Reader();
    reader.Next(JsonToken::kObjectStart);
    if (reader.ReadStringCode() == JsonKeyword::kError) {
      try {
        reader.ReadErrorBody();
      } catch (const TDBXError&) {
        // What the client wrote is checked in the bytes received.
      }
    } else {
      reader.Next(JsonToken::kNameSeparator);
      reader.Next(JsonToken::kArrayStart);
      const std::int64_t count = reader.ReadLong();
      reader.NextValueSeparator();
      std::vector<std::uint8_t> json;
      reader.ReadDataBytes(json, static_cast<std::uint64_t>(count));
      reader.Next(JsonToken::kArrayEnd);
      reader.Next(JsonToken::kObjectEnd);
    }
    side.Send(ExecuteReply("\x61\x05\xC0"));
  });
  auto command = method(u"TdtmPrincipal._ComAviso");
  command->Prepare();
  command->GetParameters()[0].Value().SetInt32(5);
  command->GetParameters()[1].Value().SetCallbackValue(std::make_shared<Callback>(c.body));
  if (c.code) {
    try {
      command->ExecuteUpdate();
      FAIL();
    } catch (const TDBXError& e) {
      EXPECT_EQ(e.ErrorCode(), *c.code);
    }
  } else {
    command->ExecuteUpdate();
  }
  command.reset();
  finish();
  EXPECT_EQ(row, "\x61\x05\x02");
  if (!c.answer.empty()) {
    EXPECT_NE(server->Received().find(c.answer), std::string::npos) << server->Received();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Callbacks,
    ::testing::Values(
        CallbackCase{"Found", R"([1,{"texto":"oi","n":[1,2.5e3,null]}])",
                     [](std::string_view a) -> std::optional<std::string> {
                       return "[" + std::string(a) + ",true]";
                     },
                     R"({"data":[40,[{"texto":"oi","n":[1,2.5e3,null]},true]]})", std::nullopt},
        CallbackCase{"NothingReturnedIsNull", R"([1,"x"])",
                     [](std::string_view) -> std::optional<std::string> { return std::nullopt; },
                     R"({"data":[4,null]})", std::nullopt},
        CallbackCase{"ThrowingIsAnErrorObject", R"([1,0])",
                     [](std::string_view) -> std::optional<std::string> {
                       throw TDBXError(7, u"recusado");
                     },
                     R"({"error":{"name":"TDBXError","code":0,"message":"recusado"}})", std::nullopt},
        CallbackCase{"OrdinalOfNoCallback", R"([0,1])", nullptr, "", 32},
        CallbackCase{"OrdinalBeyondTheList", R"([5,1])", nullptr, "", 32},
        CallbackCase{"ArgumentThatDoesNotParse", R"([1,{"a":])", nullptr, "", 32},
        CallbackCase{"TextAfterTheArray", R"([1,2] x)", nullptr, "", 32}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
}  // namespace wardenix
