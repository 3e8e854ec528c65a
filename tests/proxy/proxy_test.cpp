// The remote method proxy: construction, the call pattern (one preparation,
// then one execution per call), arguments by ordinal, the in-out argument,
// and the probe's call of _Consultas against a scripted server.
#include <gtest/gtest.h>

#include "datasnap/client_connection.h"
#include "dbx/data_types.h"
#include "proxy/uclasse_datasnap.h"
#include "runtime/errors.h"
#include "runtime/variant_stream.h"
#include "tests/datasnap/scripted_server.h"
#include "tests/dbx/fake_driver.h"

namespace wardenix {
namespace {

using namespace TDBXDataTypes;
using test::FakeConnection;
using test::FakeServer;

constexpr std::int32_t kIn = 1, kInOut = 3, kReturn = 4;

TEST(Proxy, ANullConnectionIsRefused) {
  try {
    TdtmPrincipalClient proxy(nullptr);
    FAIL();
  } catch (const EInvalidOperation& e) {
    EXPECT_EQ(e.Message(), u"Connection cannot be nil.  Make sure the connection has been opened.");
  }
  EXPECT_THROW(TdtmPrincipalClient(nullptr, false), EInvalidOperation);
}

struct ProxyOnFakeDriver : ::testing::Test {
  FakeServer server;
  FakeConnection connection{server};
};

TEST_F(ProxyOnFakeDriver, OwnershipFlagFollowsTheConstructor) {
  EXPECT_TRUE(TdtmPrincipalClient(&connection).InstanceOwner());
  EXPECT_FALSE(TdtmPrincipalClient(&connection, false).InstanceOwner());
  // Nothing was created or sent by proxies on which no method was called.
  EXPECT_TRUE(server.events.empty());
}

TEST_F(ProxyOnFakeDriver, EachMethodIsPreparedOnceAndExecutedPerCall) {
  server.parameters = {{WideStringType, kIn}, {VariantType, kReturn}};
  server.reply = {{1, Variant::from_bytes(WriteOleVariant(Variant::from_bytes({1, 2})))}};
  {
    TdtmPrincipalClient proxy(&connection);
    EXPECT_EQ(proxy._Consultas(u"SELECT * FROM GR_VERSAO"), Variant::from_bytes({1, 2}));
    EXPECT_EQ(proxy._Consultas(u"SELECT 2"), Variant::from_bytes({1, 2}));
  }
  EXPECT_EQ(server.events,
            (std::vector<std::string>{"driver command DataSnap.ServerMethod", "open",
                                      "prepare TdtmPrincipal._Consultas", "execute", "execute",
                                      "close", "freed"}));
  EXPECT_EQ(server.sent.at(0), (std::vector<std::string>{"text SELECT * FROM GR_VERSAO", "null"}));
  EXPECT_EQ(server.sent.at(1), (std::vector<std::string>{"text SELECT 2", "null"}));
}

TEST_F(ProxyOnFakeDriver, DestroyingFreesExactlyTheCommandsThatWereCreated) {
  {
    TdtmPrincipalClient proxy(&connection);
    server.parameters = {};
    proxy._CarregaVariaveis();
    proxy._ReconectarSGBD();
    proxy.LiberaCurConnection();
  }
  std::vector<std::string> prepared;
  int freed = 0;
  for (const auto& e : server.events) {
    if (e.rfind("prepare ", 0) == 0) prepared.push_back(e.substr(8));
    if (e == "freed") ++freed;
  }
  EXPECT_EQ(prepared, (std::vector<std::string>{"TdtmPrincipal._CarregaVariaveis",
                                                "TdtmPrincipal._ReconectarSGBD",
                                                "TdtmPrincipal.LiberaCurConnection"}));
  EXPECT_EQ(freed, 3);
}

TEST_F(ProxyOnFakeDriver, ArgumentsGoByOrdinalAndTheResultComesFromTheLast) {
  std::vector<test::ParameterSpec> parameters(11, {WideStringType, kIn});
  parameters.push_back({CurrencyType, kIn});
  parameters.push_back({WideStringType, kReturn});
  server.parameters = parameters;
  server.reply = {{12, Variant::from_string(u"8161000000")}};
  TdtmPrincipalClient proxy(&connection);
  EXPECT_EQ(proxy._CodigodebarraArrecadacao(u"0", u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8",
                                            u"9", u"10", Currency{1234500}),
            u"8161000000");
  EXPECT_EQ(server.sent.at(0),
            (std::vector<std::string>{"text 0", "text 1", "text 2", "text 3", "text 4", "text 5",
                                      "text 6", "text 7", "text 8", "text 9", "text 10",
                                      "bcd 123.45", "null"}));
}

TEST_F(ProxyOnFakeDriver, TheInOutArgumentTakesTheServersValueBeforeTheResultIsRead) {
  server.parameters = {{VariantType, kIn}, {WideStringType, kInOut}, {Int32Type, kReturn}};
  server.reply = {{1, Variant::from_string(u"CNT-2")}, {2, Variant::from_int32(1)}};
  TdtmPrincipalClient proxy(&connection);
  UString cod = u"CNT-1";
  EXPECT_EQ(proxy._AtualizaContribuinte(Variant::from_int32(5), cod), 1);
  EXPECT_EQ(cod, u"CNT-2");
  EXPECT_EQ(server.sent.at(0).at(0), "stream 2 3 0 0 0 5 0 0 0");
  EXPECT_EQ(server.sent.at(0).at(1), "text CNT-1");
}

TEST_F(ProxyOnFakeDriver, FewerParametersThanArgumentsFailWithTheInvalidOrdinal) {
  server.parameters = {{WideStringType, kIn}};
  TdtmPrincipalClient proxy(&connection);
  try {
    proxy._EhFeriado(u"1", u"2024-12-25");
    FAIL();
  } catch (const TDBXError& e) {
    EXPECT_EQ(e.ErrorCode(), 8);
    EXPECT_EQ(e.Message(), u"Invalid Ordinal:  1");
  }
  EXPECT_EQ(std::count(server.events.begin(), server.events.end(), "execute"), 0);
}

TEST_F(ProxyOnFakeDriver, AFailedPreparationIsTriedAgainByTheNextCall) {
  server.parameters = {{UInt32Type, kIn}};  // a type without value object
  TdtmPrincipalClient proxy(&connection);
  EXPECT_THROW(proxy._Set_IPCliente(u"10.0.0.1"), TDBXError);
  server.parameters = {{WideStringType, kIn}};
  proxy._Set_IPCliente(u"10.0.0.1");
  EXPECT_EQ(std::count(server.events.begin(), server.events.end(),
                       std::string("prepare TdtmPrincipal._Set_IPCliente")),
            2);
}

struct WatchedDataSet : TClientDataSet {
  explicit WatchedDataSet(bool& freed) : freed_(freed) {}
  ~WatchedDataSet() override { freed_ = true; }
  bool& freed_;
};

TEST_F(ProxyOnFakeDriver, ADatasetArgumentIsFreedWithItsReaderOnlyWhenTheProxyOwnsIt) {
  server.parameters = {{TableType, kIn}};
  for (const bool owner : {true, false}) {
    bool freed = false;
    auto* dataset = new WatchedDataSet(freed);
    {
      TdtmPrincipalClient proxy(&connection, owner);
      proxy.sqlAuxAfterClose(dataset);
      EXPECT_FALSE(freed);  // the parameter value holds the reader until the command goes
    }
    EXPECT_EQ(freed, owner);
    if (!owner) delete dataset;
  }
}

// The probe's call against a server on loopback.
TEST(ProxyOnTheWire, ConsultasAnswersThePacketAndClosesItsCommandWhenFreed) {
  using namespace test;
  const std::vector<std::uint8_t> packet = {0x96, 0x19, 0xE0, 0xBD, 1, 0, 0, 0};
  std::vector<Request> requests;
  ScriptedServer server([&](ServerSide& side) {
    side.ReadRequest();
    side.Send(ConnectReply(1));
    requests.push_back(side.ReadRequest());
    side.Send(PrepareReply(12, {ParameterItem(WideStringType, 1, "vSQL"),
                                ParameterItem(VariantType, 4, "ReturnParameter")}));
    requests.push_back(side.ReadRequest());
    RowBuilder row;
    row->WriteNull();
    MemoryByteSource stream(WriteOleVariant(Variant::from_bytes(packet)));
    row->WriteBytes(stream);
    side.Send(ExecuteReply(row.Bytes()));
    requests.push_back(side.ReadRequest());
  });
  TDBXClientConnection connection(TDBXProperties{
      {u"HostName", u"127.0.0.1"}, {u"Port", to_ustring(server.Port())}, {u"DriverName", u"Datasnap"}});
  connection.Open();
  Variant result;
  {
    TdtmPrincipalClient proxy(&connection);
    result = proxy._Consultas(u"SELECT * FROM GR_VERSAO");
  }
  connection.Close();
  server.Finish();
  ASSERT_EQ(server.ScriptError(), "");
  ASSERT_TRUE(result.is_byte_array());
  EXPECT_EQ(std::vector<std::uint8_t>(result.bytes().begin(), result.bytes().end()), packet);
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].params[3].text, u"TdtmPrincipal._Consultas");
  EXPECT_EQ(requests[1].params[1][u"data"].bytes, "\x37SELECT * FROM GR_VERSAO\xC0");
  EXPECT_EQ(requests[2].method, u"command_close");
  EXPECT_EQ(requests[2].params[0].number, 12);
}

// Freeing the proxy closes its commands in catalogue order, whatever order
// they were created in: LiberaCurConnection (15th), _ReconectarSGBD (16th),
// _CarregaVariaveis (20th).
TEST(ProxyOnTheWire, FreeingClosesTheCommandsInCatalogueOrder) {
  using namespace test;
  std::vector<Request> closes;
  ScriptedServer server([&](ServerSide& side) {
    side.ReadRequest();
    side.Send(ConnectReply(1));
    for (int handle : {21, 22, 23}) {
      side.ReadRequest();
      side.Send(PrepareReply(handle, {}));
      side.ReadRequest();
      side.Send(R"({"result":[{"rows":[0]}]})");
    }
    for (int i = 0; i < 3; ++i) closes.push_back(side.ReadRequest());
  });
  TDBXClientConnection connection(TDBXProperties{
      {u"HostName", u"127.0.0.1"}, {u"Port", to_ustring(server.Port())}, {u"DriverName", u"Datasnap"}});
  connection.Open();
  {
    TdtmPrincipalClient proxy(&connection);
    proxy.LiberaCurConnection();  // prepared as 21
    proxy._CarregaVariaveis();    // 22
    proxy._ReconectarSGBD();      // 23
  }
  connection.Close();
  server.Finish();
  ASSERT_EQ(server.ScriptError(), "");
  ASSERT_EQ(closes.size(), 3u);
  std::vector<std::int64_t> closed;
  for (const Request& r : closes) {
    EXPECT_EQ(r.method, u"command_close");
    closed.push_back(r.params[0].number);
  }
  EXPECT_EQ(closed, (std::vector<std::int64_t>{21, 23, 22}));
}

}  // namespace
}  // namespace wardenix
