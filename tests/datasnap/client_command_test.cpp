// Server-method commands against a scripted server: prepare and execute of
// "TdtmPrincipal._Consultas" with its parameter metadata, results taken from
// the reply row, values completed through more_blob in both directions,
// errors from the server and command_close.
#include <gtest/gtest.h>

#include <functional>

#include "datasnap/client_connection.h"
#include "dbx/command.h"
#include "dbx/data_types.h"
#include "runtime/variant_stream.h"
#include "tests/datasnap/client_fixture.h"
#include "tests/datasnap/scripted_server.h"

namespace wardenix {
namespace {

using test::ErrorReply;
using test::ExecuteReply;
using test::ParameterItem;
using test::PrepareReply;
using test::Json;
using test::Request;
using test::RowBuilder;
using test::ScriptedServer;
using test::ServerSide;
using namespace TDBXDataTypes;

std::string as_text(const std::vector<std::uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> packet_of(std::size_t size) {
  std::vector<std::uint8_t> packet(size);
  for (std::size_t i = 0; i < size; ++i) packet[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return packet;
}

// The reply row of _Consultas: the input (null) and the result as a stream
// value holding the packet in the variant stream form.
std::string consultas_reply_row(const Variant& result) {
  RowBuilder row;
  row->WriteNull();
  if (result.is_null()) {
    row->WriteNull();
  } else {
    MemoryByteSource stream(WriteOleVariant(result));
    row->WriteBytes(stream);
  }
  return row.Bytes();
}

const std::string kConsultasPrepare = PrepareReply(
    7, {ParameterItem(WideStringType, 1, "vSQL"), ParameterItem(VariantType, 4, "ReturnParameter")});

struct Fixture : test::ClientFixture {
  std::unique_ptr<TDBXCommand> consultas() { return method(u"TdtmPrincipal._Consultas"); }
};

// The reply row of _Consultas whose result is a blob reference: its size and
// no byte of it, all to be pulled with more_blob.
std::string blob_reference_row(std::uint32_t size) {
  RowBuilder row;
  row->WriteNull();
  std::string bytes = row.Bytes();
  bytes += '\x08';
  for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>(size >> shift);
  return bytes;
}

bool refused_as_too_large(const std::function<void()>& f) {
  try {
    f();
  } catch (const TDBXError& e) {
    return e.ErrorCode() == 2 && e.Message().find(u"more than the 4096 bytes") != UString::npos;
  }
  return false;
}

TEST_F(Fixture, ConsultasIsPreparedExecutedAndAnswersTheBytesOfThePacket) {
  const auto packet = packet_of(300);
  std::vector<Request> requests;
  start([&](ServerSide& side) {
    requests.push_back(side.ReadRequest());
    side.Send(kConsultasPrepare);
    requests.push_back(side.ReadRequest());
    side.Send(ExecuteReply(consultas_reply_row(Variant::from_bytes(packet))));
    requests.push_back(side.ReadRequest());
  });
  auto command = consultas();
  command->Prepare();
  TDBXParameterList& parameters = command->GetParameters();
  ASSERT_EQ(parameters.Count(), 2);
  EXPECT_EQ(parameters[0].DataType(), WideStringType);
  EXPECT_EQ(parameters[0].ParameterDirection(), 1);
  EXPECT_EQ(parameters[0].Name(), u"vSQL");
  EXPECT_EQ(parameters[1].DataType(), VariantType);
  EXPECT_EQ(parameters[1].ParameterDirection(), 4);
  EXPECT_EQ(parameters[1].ValueTypeFlags() & TDBXValueTypeFlags::FromServer,
            TDBXValueTypeFlags::FromServer);

  parameters[0].Value().SetWideString(u"SELECT * FROM GR_VERSAO");
  command->ExecuteUpdate();
  const Variant result = command->GetParameters()[1].Value().GetAsVariant();
  ASSERT_TRUE(result.is_byte_array());
  EXPECT_EQ(result.bound(0).low, 0);
  EXPECT_EQ(std::vector<std::uint8_t>(result.bytes().begin(), result.bytes().end()), packet);
  command.reset();
  finish();

  ASSERT_EQ(requests.size(), 3u);
  const Json& prepare = requests[0].params;
  EXPECT_EQ(requests[0].method, u"prepare");
  ASSERT_EQ(prepare.items.size(), 4u);  // no parameters object for a fresh command
  EXPECT_EQ(prepare[0].number, -1);
  EXPECT_FALSE(prepare[1].boolean);
  EXPECT_EQ(prepare[2].text, u"DataSnap.ServerMethod");
  EXPECT_EQ(prepare[3].text, u"TdtmPrincipal._Consultas");

  const Json& execute = requests[1].params;
  EXPECT_EQ(requests[1].method, u"execute");
  ASSERT_EQ(execute.items.size(), 2u);
  EXPECT_EQ(execute[0][u"handle"][0].number, 7);
  EXPECT_EQ(execute[1][u"data"].bytes, "\x37SELECT * FROM GR_VERSAO\xC0");
  EXPECT_EQ(execute[1][u"data"].count, 25);

  EXPECT_EQ(requests[2].method, u"command_close");
  EXPECT_EQ(requests[2].params[0].number, 7);
}

TEST_F(Fixture, AResultLargerThanTheReplyRowIsPulledWithMoreBlob) {
  const auto packet = packet_of(5000);
  const std::vector<std::uint8_t> stream = WriteOleVariant(Variant::from_bytes(packet));
  std::vector<Request> pulls;
  start([&](ServerSide& side) {
    side.ReadRequest();
    side.Send(kConsultasPrepare);
    side.ReadRequest();
    // The first 1000 bytes inline, the rest in chunks of 2000 on request.
    RowBuilder row;
    row->WriteNull();
    const std::string first(stream.begin(), stream.begin() + 1000);
    row->WriteNull();
    std::string bytes = row.Bytes();
    bytes.pop_back();
    bytes += std::string("\x50") + static_cast<char>(1000 >> 8) + static_cast<char>(1000 & 0xFF) + first;
    side.Send(ExecuteReply(bytes));
    for (std::size_t at = 1000; at < stream.size(); at += 2000) {
      pulls.push_back(side.ReadRequest());
      const std::size_t n = std::min<std::size_t>(2000, stream.size() - at);
      const bool last = at + n == stream.size();
      side.Send(R"({"result":[{"data":[)" + std::string(last ? "-" : "") + std::to_string(n) + "," +
                std::string(stream.begin() + static_cast<std::ptrdiff_t>(at),
                            stream.begin() + static_cast<std::ptrdiff_t>(at + n)) +
                "]}]}");
    }
  });
  auto command = consultas();
  command->Prepare();
  command->GetParameters()[0].Value().SetWideString(u"SELECT * FROM GR_VERSAO");
  command->ExecuteUpdate();
  const Variant result = command->GetParameters()[1].Value().GetAsVariant();
  // Read twice, pulled once.
  EXPECT_EQ(command->GetParameters()[1].Value().GetAsVariant(), result);
  EXPECT_EQ(std::vector<std::uint8_t>(result.bytes().begin(), result.bytes().end()), packet);
  command.reset();
  finish();
  ASSERT_EQ(pulls.size(), 3u);
  for (const Request& pull : pulls) {
    EXPECT_EQ(pull.method, u"more_blob");
    ASSERT_EQ(pull.params.items.size(), 6u);
    EXPECT_EQ(pull.params[0].number, 7);   // command handle
    EXPECT_EQ(pull.params[1].number, 1);   // the first blob of the row
    EXPECT_EQ(pull.params[2].number, 0);   // row
    EXPECT_EQ(pull.params[3].number, 1);   // ordinal
    EXPECT_TRUE(pull.params[4].boolean);   // parameter row
    EXPECT_EQ(pull.params[5].number, 0);   // row handle
  }
}

TEST_F(Fixture, AnAnswerAboveTheReplyLimitIsRefusedBeforeItIsPulled) {
  reply_limit = 4096;
  // A packet whose stream (form 03: a byte and an 8-byte count) is exactly
  // the limit, pulled whole; then one byte more, refused by its size alone.
  const auto packet = packet_of(4096 - 9);
  const std::vector<std::uint8_t> stream = WriteOleVariant(Variant::from_bytes(packet));
  ASSERT_EQ(stream.size(), 4096u);
  std::vector<UString> methods;
  start([&](ServerSide& side) {
    side.ReadRequest();
    side.Send(kConsultasPrepare);
    side.ReadRequest();
    side.Send(ExecuteReply(blob_reference_row(4096)));
    methods.push_back(side.ReadRequest().method);
    side.Send(R"({"result":[{"data":[-4096,)" + as_text(stream) + "]}]}");
    side.ReadRequest();
    side.Send(ExecuteReply(blob_reference_row(4097)));
    for (;;) methods.push_back(side.ReadRequest().method);
  });
  auto command = consultas();
  command->Prepare();
  command->GetParameters()[0].Value().SetWideString(u"SELECT * FROM GR_VERSAO");
  command->ExecuteUpdate();
  const Variant at_limit = command->GetParameters()[1].Value().GetAsVariant();
  EXPECT_EQ(std::vector<std::uint8_t>(at_limit.bytes().begin(), at_limit.bytes().end()), packet);

  command->ExecuteUpdate();
  EXPECT_TRUE(refused_as_too_large([&] { command->GetParameters()[1].Value().GetAsVariant(); }));
  command.reset();
  connection->Close();
  server->Finish();
  // One pull for the answer at the limit, none for the one above it.
  EXPECT_EQ(methods, (std::vector<UString>{u"more_blob", u"command_close", u"disconnect"}));
}

TEST_F(Fixture, AReplyRowAboveTheReplyLimitIsRefused) {
  reply_limit = 4096;
  start([&](ServerSide& side) {
    side.ReadRequest();
    side.Send(kConsultasPrepare);
    side.ReadRequest();
    side.Send(ExecuteReply(std::string(4097, '\xC0')));
  });
  auto command = consultas();
  command->Prepare();
  command->GetParameters()[0].Value().SetWideString(u"SELECT * FROM GR_VERSAO");
  EXPECT_TRUE(refused_as_too_large([&] { command->ExecuteUpdate(); }));
  command.reset();
  connection->Close();
  server->Abort();
}

TEST_F(Fixture, DataBlocksTheClientDoesNotNeedAreSkipped) {
  // A command without parameters has no row for a "data" block, and the
  // client knows no "extra" member: both are stepped over by their counts,
  // so that blocks larger than the reply limit cost nothing and the stream
  // stays in step for the next reply.
  reply_limit = 4096;
  std::string unneeded(10000, '\0');
  for (std::size_t i = 0; i < unneeded.size(); ++i) unneeded[i] = "]}{[\",:x"[i % 9];
  start([&](ServerSide& side) {
    side.ReadRequest();
    side.Send(R"({"result":[{"rows":[3]},{"data":[)" + ServerSide::Data(unneeded) +
              R"(]},{"extra":[{"data":[-10000,)" + unneeded + "]}]}]}");
    side.ReadRequest();
    side.Send(R"({"result":[{"rows":[5]}]})");
  });
  auto command = connection->CreateCommand();
  command->SetCommandType(kServerMethodCommandType);
  command->SetText(u"TdtmPrincipal._CarregaVariaveis");
  command->ExecuteUpdate();
  EXPECT_EQ(command->GetRowsAffected(), 3);
  command->ExecuteUpdate();
  EXPECT_EQ(command->GetRowsAffected(), 5);
  command.reset();
  finish();
}

TEST_F(Fixture, ANullResultReadsAsNullAndAnErrorReplyRaisesTheServersError) {
  start([&](ServerSide& side) {
    side.ReadRequest();
    side.Send(kConsultasPrepare);
    side.ReadRequest();
    side.Send(ExecuteReply(consultas_reply_row(Variant::Null())));
    side.ReadRequest();
    side.Send(ErrorReply(33, "Tabela GR_VERSAO inexistente"));
    side.ReadRequest();
    side.Send(ExecuteReply(consultas_reply_row(Variant::from_bytes({1, 2, 3}))));
  });
  auto command = consultas();
  command->Prepare();
  TDBXValue& sql = command->GetParameters()[0].Value();
  sql.SetWideString(u"SELECT * FROM GR_VERSAO");
  command->ExecuteUpdate();
  EXPECT_TRUE(command->GetParameters()[1].Value().GetAsVariant().is_null());
  try {
    command->ExecuteUpdate();
    FAIL();
  } catch (const TDBXError& e) {
    EXPECT_EQ(e.ErrorCode(), 33);
    EXPECT_EQ(e.Message(), u"Tabela GR_VERSAO inexistente");
  }
  // Still prepared, the input still set: the next execution goes through.
  EXPECT_TRUE(command->IsPrepared());
  command->ExecuteUpdate();
  EXPECT_EQ(command->GetParameters()[1].Value().GetAsVariant(), Variant::from_bytes({1, 2, 3}));
  command.reset();
  finish();
}

TEST_F(Fixture, ALongInputIsCompletedThroughTheServersMoreBlobRequests) {
  UString text(40000, u'x');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(u'a' + i % 26);
  std::string inline_part;
  std::vector<std::string> chunks;
  start([&](ServerSide& side) {
    side.ReadRequest();
    side.Send(kConsultasPrepare);
    const Request execute = side.ReadRequest();
    inline_part = execute.params[1][u"data"].bytes;
    for (;;) {
      side.Send(R"({"more_blob":[7,1,0,0,0]})");
      side.Reader().Next(JsonToken::kObjectStart);
      side.Reader().ReadStringCode();
      side.Reader().Next(JsonToken::kNameSeparator);
      side.Reader().Next(JsonToken::kArrayStart);
      const std::int64_t count = side.Reader().ReadLong();
      side.Reader().NextValueSeparator();
      std::vector<std::uint8_t> bytes;
      side.Reader().ReadDataBytes(bytes, static_cast<std::uint64_t>(count < 0 ? -count : count));
      side.Reader().Next(JsonToken::kArrayEnd);
      side.Reader().Next(JsonToken::kObjectEnd);
      chunks.push_back(as_text(bytes));
      if (count <= 0) break;
    }
    side.Send(ExecuteReply(consultas_reply_row(Variant::Null())));
  });
  auto command = consultas();
  command->Prepare();
  command->GetParameters()[0].Value().SetWideString(text);
  command->ExecuteUpdate();
  command.reset();
  finish();
  // Header 50, the inline capacity, that many bytes; then the null result.
  ASSERT_GE(inline_part.size(), 4u);
  EXPECT_EQ(static_cast<std::uint8_t>(inline_part[0]), 0x50);
  const std::size_t capacity = std::size_t{static_cast<std::uint8_t>(inline_part[1])} * 256 +
                               static_cast<std::uint8_t>(inline_part[2]);
  EXPECT_EQ(inline_part.size(), 3 + capacity + 1);
  std::string all = inline_part.substr(3, capacity);
  for (const auto& chunk : chunks) all += chunk;
  EXPECT_EQ(all, to_utf8(text));
}

TEST_F(Fixture, AnEmptyResultArrayLeavesTheValuesAsTheyWereSent) {
  start([&](ServerSide& side) {
    side.ReadRequest();
    side.Send(PrepareReply(3, {ParameterItem(WideStringType, 3, "CodCNT"),
                               ParameterItem(Int32Type, 4, "ReturnParameter")}));
    side.ReadRequest();
    side.Send(R"({"result":[]})");
  });
  auto command = connection->CreateCommand();
  command->SetCommandType(kServerMethodCommandType);
  command->SetText(u"TdtmPrincipal._Fake");
  command->Prepare();
  command->GetParameters()[0].Value().SetWideString(u"123");
  command->ExecuteUpdate();
  EXPECT_EQ(command->GetParameters()[0].Value().GetWideString(), u"123");
  EXPECT_TRUE(command->GetParameters()[1].Value().IsNull());
  EXPECT_EQ(command->GetParameters()[1].Value().GetInt32(), 0);
  command.reset();
  finish();
}

TEST_F(Fixture, JsonValuesTravelAsTheirTextInABlock) {
  std::string sent;
  start([&](ServerSide& side) {
    side.ReadRequest();
    side.Send(PrepareReply(4, {ParameterItem(JsonValueType, 1, "Entrada"),
                               ParameterItem(JsonValueType, 4, "ReturnParameter")}));
    sent = side.ReadRequest().params[1][u"data"].bytes;
    RowBuilder row;
    row->WriteNull();
    row->WriteJson(R"([true,"x"])");
    side.Send(ExecuteReply(row.Bytes()));
  });
  auto command = method(u"TdtmPrincipal._Json");
  command->Prepare();
  command->GetParameters()[0].Value().SetJsonText(R"({"a":[1,2]})");
  command->ExecuteUpdate();
  EXPECT_EQ(command->GetParameters()[1].Value().GetJsonText(), R"([true,"x"])");
  command.reset();
  finish();
  EXPECT_EQ(sent, std::string("\x40\x00\x00\x00\x0B", 5) + R"({"a":[1,2]})" + "\xC0");
}

TEST_F(Fixture, CommandsOfAClosedConnectionFailWithoutTouchingTheWire) {
  start([&](ServerSide& side) {
    side.ReadRequest();
    side.Send(kConsultasPrepare);
  });
  auto command = consultas();
  command->Prepare();
  connection->Close();
  server->Finish();
  try {
    command->ExecuteUpdate();
    FAIL();
  } catch (const TDBXError& e) {
    EXPECT_EQ(e.ErrorCode(), 30);
    EXPECT_EQ(e.Message(), u"Operation failed.  Connection was closed");
  }
  const std::string received = server->Received();
  // The connection closed the command before saying goodbye.
  EXPECT_NE(received.find(R"({"method":"command_close","params":[7]}{"method":"disconnect","params":[1]})"),
            std::string::npos)
      << received;
  command.reset();
  connection.reset();
}

}  // namespace
}  // namespace wardenix
