// The provider link on a driver without a wire: when commands are prepared
// and freed, what each provider operation writes and reads back by ordinal,
// how failures reach the dataset, and the link's connect rules.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "dataset/client_dataset.h"
#include "dbx/data_types.h"
#include "provider/provider_connection.h"
#include "runtime/errors.h"
#include "runtime/variant_stream.h"
#include "tests/dataset/packet_writer.h"
#include "tests/dbx/fake_driver.h"

namespace wardenix {
namespace {

using namespace TDBXDataTypes;
using test::FakeDriver;
using test::FakeServer;
using test::ParameterSpec;
using Events = std::vector<std::string>;

constexpr std::int32_t kIn = 1, kInOut = 3, kReturn = 4;
constexpr char16_t kCannotConnect[] =
    u"Cannot connect dssPrincipal to server, SQLConnection and ServerClassName must both be set.";

// A variant parameter's value as the server sends it.
Variant on_wire(const Variant& value) { return Variant::from_bytes(WriteOleVariant(value)); }

// A variant as the fake row records it when the client writes it.
std::string sent_stream(const Variant& value) {
  std::string text = "stream";
  for (const std::uint8_t b : WriteOleVariant(value)) {
    text += ' ';
    text += std::to_string(b);
  }
  return text;
}

std::vector<std::uint8_t> one_row_packet() {
  using namespace wardenix::test;
  PacketWriter w(TableSpec{{column("VERSAO", 1, 4)}, {}});
  w.begin_row(1).value(le(7, 4)).end_row();
  const Bytes bytes = w.finish();
  return {bytes.begin(), bytes.end()};
}

const std::vector<ParameterSpec> kGetRecordsParameters = {
    {WideStringType, kIn}, {Int32Type, kIn},  {Int32Type, kInOut},   {Int32Type, kIn},
    {WideStringType, kIn}, {VariantType, kInOut}, {VariantType, kInOut}, {VariantType, kReturn}};

// The window's three components over a fake driver: the connection, the
// link and the dataset, destroyed in the window's order.
struct LinkOnFakeDriver : ::testing::Test {
  FakeServer server;
  TDBXDriverRegistry drivers;
  TSQLConnection CnxServer{drivers};
  TDSProviderConnection dssPrincipal{u"dssPrincipal"};
  TClientDataSet cdsGet_Data{u"cdsGet_Data"};

  LinkOnFakeDriver() {
    drivers.Register(u"Datasnap", std::make_shared<FakeDriver>(server));
    CnxServer.DriverName = u"Datasnap";
    CnxServer.AfterConnect = [this] { server.events.push_back("after connect"); };
    dssPrincipal.SetServerClassName(u"TdmPrincipal");
    dssPrincipal.SetSQLConnection(&CnxServer);
    cdsGet_Data.SetProviderName(u"dspAux");
    cdsGet_Data.SetRemoteServer(&dssPrincipal);
    server.parameters = kGetRecordsParameters;
    server.reply = {{2, Variant::from_int32(1)}, {7, on_wire(Variant::from_bytes(one_row_packet()))}};
  }

  // The events from the `n`th on.
  Events events_from(std::size_t n) const {
    return {server.events.begin() + static_cast<std::ptrdiff_t>(n), server.events.end()};
  }
};

TEST_F(LinkOnFakeDriver, FetchAndResetWithoutADisconnectPrepareOnceAndExecuteEachTime) {
  cdsGet_Data.Open();
  ASSERT_TRUE(cdsGet_Data.Active());
  cdsGet_Data.Close();
  cdsGet_Data.Open();
  EXPECT_EQ(server.events, (Events{"connect", "after connect", "driver command DataSnap.ServerMethod",
                                   "open", "prepare TdmPrincipal.AS_GetRecords", "execute",
                                   "execute", "execute"}));
  // The fetch, then the reset call, each parameter at its ordinal.
  const std::string unassigned = sent_stream(Variant());
  EXPECT_EQ(server.sent.at(0), (Events{"text dspAux", "int32 -1", "int32 0", "int32 1", "text ",
                                       "null", unassigned, "null"}));
  EXPECT_EQ(server.sent.at(1), (Events{"text dspAux", "int32 0", "int32 0", "int32 2", "text ",
                                       unassigned, unassigned, "null"}));
}

TEST_F(LinkOnFakeDriver, ADisconnectFreesTheCommandAndTheNextCallPreparesAgain) {
  cdsGet_Data.Open();
  const std::size_t before = server.events.size();
  CnxServer.SetConnected(false);
  EXPECT_EQ(events_from(before), (Events{"close", "freed", "disconnect"}));
  EXPECT_TRUE(dssPrincipal.AppServer().is_null());
  // The dataset was not told and still holds the interface: its close sends
  // the reset call, which connects again and prepares a fresh command.
  EXPECT_TRUE(cdsGet_Data.HasAppServer());
  cdsGet_Data.Close();
  EXPECT_EQ(events_from(before + 3),
            (Events{"connect", "after connect", "driver command DataSnap.ServerMethod", "open",
                    "prepare TdmPrincipal.AS_GetRecords", "execute"}));
  EXPECT_FALSE(cdsGet_Data.HasAppServer());
}

TEST_F(LinkOnFakeDriver, OnlyAnotherServerClassNameEmptiesTheCache) {
  cdsGet_Data.Open();
  const std::size_t before = server.events.size();
  dssPrincipal.SetServerClassName(u"TdmPrincipal");
  EXPECT_EQ(events_from(before), Events{});
  dssPrincipal.SetServerClassName(u"TdmOutro");
  EXPECT_EQ(events_from(before), (Events{"close", "freed"}));
  cdsGet_Data.Close();
  EXPECT_EQ(events_from(before + 2), (Events{"driver command DataSnap.ServerMethod", "open",
                                             "prepare TdmOutro.AS_GetRecords", "execute"}));
}

TEST_F(LinkOnFakeDriver, GetServerWhileDisconnectedConnectsFirst) {
  ASSERT_FALSE(dssPrincipal.Connected());
  EXPECT_TRUE(dssPrincipal.AppServer().is_null());
  const std::shared_ptr<IAppServer> provider = dssPrincipal.GetServer();
  ASSERT_NE(provider, nullptr);
  EXPECT_TRUE(CnxServer.Connected());
  EXPECT_TRUE(dssPrincipal.Connected());
  EXPECT_EQ(dssPrincipal.AppServer().type(), varDispatch);
  EXPECT_EQ(dssPrincipal.AppServer().as_interface(), provider);
  // Connecting prepares nothing: commands are made by the first call.
  EXPECT_EQ(server.events, (Events{"connect", "after connect"}));
  EXPECT_EQ(dssPrincipal.GetServer(), provider);
}

TEST_F(LinkOnFakeDriver, ACallWhileDisconnectedConnectsThroughTheComponentsHandlers) {
  std::int32_t recs_out = 0;
  Variant params, owner, result;
  const std::shared_ptr<IAppServer> provider = dssPrincipal.GetServer();
  CnxServer.SetConnected(false);
  server.events.clear();
  ASSERT_FALSE(provider->AS_GetRecords(u"dspAux", -1, recs_out, 1, u"", params, owner, result).Failed());
  EXPECT_EQ(server.events, (Events{"connect", "after connect", "driver command DataSnap.ServerMethod",
                                   "open", "prepare TdmPrincipal.AS_GetRecords", "execute"}));
  EXPECT_EQ(recs_out, 1);
}

TEST_F(LinkOnFakeDriver, ServerErrorsReachTheDatasetsCallerAsEOleException) {
  struct Case {
    const char* name;
    std::function<void()> fail;
    std::int32_t status;
  };
  const Case cases[] = {
      {"an error of the server or the transport", [] { throw TDBXError(0, u"Provider n\u00E3o encontrado"); },
       kProviderUnexpected},
      {"a COM error keeps its negative status",
       [] { throw EOleException(u"Provider n\u00E3o encontrado", static_cast<std::int32_t>(0x80004005u)); },
       static_cast<std::int32_t>(0x80004005u)},
      {"a COM error whose status is not negative", [] { throw EOleException(u"Provider n\u00E3o encontrado", 5); },
       kProviderUnexpected},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server.on_execute = c.fail;
    try {
      cdsGet_Data.Open();
      ADD_FAILURE() << "the open succeeded";
    } catch (const EOleException& e) {
      EXPECT_EQ(e.Message(), u"Provider n\u00E3o encontrado");
      EXPECT_EQ(e.ErrorCode(), c.status);
    }
    EXPECT_FALSE(cdsGet_Data.Active());
  }
}

TEST_F(LinkOnFakeDriver, AFailedPreparationLeavesTheSlotEmptySoTheNextCallPreparesAgain) {
  const std::shared_ptr<IAppServer> provider = dssPrincipal.GetServer();
  std::int32_t recs_out = 0;
  Variant params, owner, result;
  server.on_prepare = [] { throw TDBXError(0, u"M\u00E9todo desconhecido"); };
  const AppServerStatus failed =
      provider->AS_GetRecords(u"dspAux", -1, recs_out, 1, u"", params, owner, result);
  EXPECT_EQ(failed.Status, kProviderUnexpected);
  EXPECT_EQ(failed.ErrorText, u"M\u00E9todo desconhecido");
  server.on_prepare = nullptr;
  ASSERT_FALSE(provider->AS_GetRecords(u"dspAux", -1, recs_out, 1, u"", params, owner, result).Failed());
  ASSERT_FALSE(provider->AS_GetRecords(u"dspAux", -1, recs_out, 1, u"", params, owner, result).Failed());
  EXPECT_EQ(server.events,
            (Events{"connect", "after connect", "driver command DataSnap.ServerMethod", "open",
                    "prepare TdmPrincipal.AS_GetRecords", "close", "freed",
                    "driver command DataSnap.ServerMethod", "open",
                    "prepare TdmPrincipal.AS_GetRecords", "execute", "execute"}));
}

TEST_F(LinkOnFakeDriver, DestroyingTheConnectionComponentClearsTheLinksReference) {
  {
    TSQLConnection other(drivers);
    other.DriverName = u"Datasnap";
    dssPrincipal.SetSQLConnection(&other);
    EXPECT_EQ(dssPrincipal.SQLConnection(), &other);
  }
  EXPECT_EQ(dssPrincipal.SQLConnection(), nullptr);
  EXPECT_FALSE(dssPrincipal.Connected());
  // The old component no longer tells the link of its connects.
  CnxServer.SetConnected(true);
  EXPECT_TRUE(dssPrincipal.AppServer().is_null());
}

TEST_F(LinkOnFakeDriver, TheLinksOwnDisconnectTellsItsDatasetsAndLeavesTheComponentConnected) {
  cdsGet_Data.Open();
  cdsGet_Data.Close();
  const std::shared_ptr<IAppServer> held = cdsGet_Data.AppServer();
  ASSERT_TRUE(cdsGet_Data.HasAppServer());
  dssPrincipal.SetConnected(false);
  EXPECT_FALSE(cdsGet_Data.HasAppServer());
  EXPECT_TRUE(CnxServer.Connected());
  EXPECT_EQ(server.events.back(), "freed");
}

TEST_F(LinkOnFakeDriver, DestroyingTheLinkClearsTheDatasetsRemoteServer) {
  auto link = std::make_unique<TDSProviderConnection>(u"dssOutro");
  link->SetServerClassName(u"TdmPrincipal");
  link->SetSQLConnection(&CnxServer);
  cdsGet_Data.SetRemoteServer(link.get());
  cdsGet_Data.Open();
  const std::shared_ptr<IAppServer> kept = link->GetServer();
  link.reset();
  EXPECT_EQ(cdsGet_Data.RemoteServer(), nullptr);
  EXPECT_EQ(server.events.back(), "freed");
  // An interface that outlived its link fails instead of reaching it.
  Variant names;
  EXPECT_EQ(kept->AS_GetProviderNames(names).Status, kProviderUnexpected);
}

TEST(LinkConnect, WithoutConnectionComponentOrServerClassNameTheLinkCannotConnect) {
  TDBXDriverRegistry drivers;
  TSQLConnection connection(drivers);
  struct Case {
    const char* name;
    UString server_class;
    TSQLConnection* component;
  };
  const Case cases[] = {{"no connection component", u"TdmPrincipal", nullptr},
                        {"no server class name", u"", &connection}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TDSProviderConnection link(u"dssPrincipal");
    link.SetServerClassName(c.server_class);
    link.SetSQLConnection(c.component);
    try {
      link.GetServer();
      ADD_FAILURE() << "GetServer succeeded";
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), kCannotConnect);
    }
    // A provider operation reports the same as its failure.
    Variant result;
    const AppServerStatus status = link.AS_DataRequest(u"dspAux", Variant(), result);
    EXPECT_EQ(status.Status, kProviderUnexpected);
    EXPECT_EQ(status.ErrorText, kCannotConnect);
    // The dataset's open fails with the link's text.
    TClientDataSet dataset(u"cdsGet_Data");
    dataset.SetProviderName(u"dspAux");
    dataset.SetRemoteServer(&link);
    try {
      dataset.Open();
      ADD_FAILURE() << "the open succeeded";
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), kCannotConnect);
    }
  }
}

TEST(LinkConnect, ConnectedWhileLoadingIsAppliedByLoaded) {
  FakeServer server;
  TDBXDriverRegistry drivers;
  drivers.Register(u"Datasnap", std::make_shared<FakeDriver>(server));
  TSQLConnection connection(drivers);
  connection.DriverName = u"Datasnap";
  TDSProviderConnection link(u"dssPrincipal");
  link.BeginLoading();
  link.SetConnected(true);
  link.SetServerClassName(u"TdmPrincipal");
  link.SetSQLConnection(&connection);
  EXPECT_FALSE(connection.Connected());
  link.Loaded();
  EXPECT_TRUE(connection.Connected());
}

TEST(ProviderNames, OnlyCommasSeparateAndAnEmptyTextIsNull) {
  const auto texts = [](std::vector<UString> names) {
    std::vector<Variant> elements;
    for (auto& n : names) elements.push_back(Variant::from_string(std::move(n)));
    return Variant::from_elements(std::move(elements));
  };
  EXPECT_EQ(ProviderNamesFromText(u"a,b c"), texts({u"a", u"b c"}));
  EXPECT_EQ(ProviderNamesFromText(u"dspAux"), texts({u"dspAux"}));
  EXPECT_EQ(ProviderNamesFromText(u" a , b"), texts({u" a ", u" b"}));
  EXPECT_EQ(ProviderNamesFromText(u"a,"), texts({u"a", u""}));
  EXPECT_TRUE(ProviderNamesFromText(u"").is_null());
}

TEST_F(LinkOnFakeDriver, TheProviderNamesReplyIsSplitAtCommasOnly) {
  server.parameters = {{WideStringType, kReturn}};
  struct Case {
    const char* name;
    std::map<std::int32_t, Variant> reply;
    Variant expected;
  };
  const Case cases[] = {
      {"two names, a space in the second", {{0, Variant::from_string(u"a,b c")}},
       Variant::from_elements({Variant::from_string(u"a"), Variant::from_string(u"b c")})},
      {"an empty text", {{0, Variant::from_string(u"")}}, Variant::Null()},
      {"no text", {}, Variant::Null()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server.reply = c.reply;
    Variant names;
    ASSERT_FALSE(dssPrincipal.AS_GetProviderNames(names).Failed());
    EXPECT_EQ(names, c.expected);
  }
}

// Every operation: the server method it calls, what it writes at each
// ordinal and what it reads back from which.
TEST_F(LinkOnFakeDriver, EachOperationWritesAndReadsItsParametersByOrdinal) {
  struct Outputs {
    std::int32_t count = 0;
    Variant params, owner, result;
    bool operator==(const Outputs&) const = default;
  };
  struct Case {
    const char* command;
    std::vector<ParameterSpec> parameters;
    std::map<std::int32_t, Variant> reply;
    std::function<AppServerStatus(IAppServer&, Outputs&)> call;
    Events sent;
    Outputs expected;
  };
  const Variant owner_in = Variant::from_string(u"dono");
  const Variant owner_back = Variant::from_string(u"dono devolvido");
  const Variant params_in = Variant::from_int32(41);
  const Variant params_back = Variant::from_int32(42);
  const Variant result = Variant::from_bytes({9, 8, 7});
  const std::string owner_sent = sent_stream(owner_in);
  const std::string params_sent = sent_stream(params_in);
  const Case cases[] = {
      {"TdmPrincipal.AS_ApplyUpdates",
       {{WideStringType, kIn}, {VariantType, kIn}, {Int32Type, kIn}, {Int32Type, kInOut},
        {VariantType, kInOut}, {VariantType, kReturn}},
       {{3, Variant::from_int32(6)}, {4, on_wire(owner_back)}, {5, on_wire(result)}},
       [&](IAppServer& s, Outputs& o) {
         o.count = 2;
         o.owner = owner_in;
         return s.AS_ApplyUpdates(u"dspAux", Variant::from_string(u"delta"), 5, o.count, o.owner, o.result);
       },
       {"text dspAux", sent_stream(Variant::from_string(u"delta")), "int32 5", "int32 2", owner_sent, "null"},
       {6, {}, owner_back, result}},
      {"TdmPrincipal.AS_GetRecords", kGetRecordsParameters,
       {{2, Variant::from_int32(3)}, {5, on_wire(params_back)}, {6, on_wire(owner_back)}, {7, on_wire(result)}},
       [&](IAppServer& s, Outputs& o) {
         o.params = params_in;
         o.owner = owner_in;
         return s.AS_GetRecords(u"dspAux", 10, o.count, 1, u"SELECT", o.params, o.owner, o.result);
       },
       {"text dspAux", "int32 10", "int32 0", "int32 1", "text SELECT", params_sent, owner_sent, "null"},
       {3, params_back, owner_back, result}},
      {"TdmPrincipal.AS_DataRequest",
       {{WideStringType, kIn}, {VariantType, kIn}, {VariantType, kReturn}},
       {{2, on_wire(result)}},
       [&](IAppServer& s, Outputs& o) { return s.AS_DataRequest(u"dspAux", params_in, o.result); },
       {"text dspAux", params_sent, "null"},
       {0, {}, {}, result}},
      {"TdmPrincipal.AS_GetProviderNames:", {{WideStringType, kReturn}},
       {{0, Variant::from_string(u"dspAux,dsp Outro")}},
       [&](IAppServer& s, Outputs& o) { return s.AS_GetProviderNames(o.result); },
       {"null"},
       {0, {}, {}, ProviderNamesFromText(u"dspAux,dsp Outro")}},
      {"TdmPrincipal.AS_GetParams",
       {{WideStringType, kIn}, {VariantType, kInOut}, {VariantType, kReturn}},
       {{1, on_wire(owner_back)}, {2, on_wire(result)}},
       [&](IAppServer& s, Outputs& o) {
         o.owner = owner_in;
         return s.AS_GetParams(u"dspAux", o.owner, o.result);
       },
       {"text dspAux", owner_sent, "null"},
       {0, {}, owner_back, result}},
      {"TdmPrincipal.AS_RowRequest",
       {{WideStringType, kIn}, {VariantType, kIn}, {Int32Type, kIn}, {VariantType, kInOut}, {VariantType, kReturn}},
       {{3, on_wire(owner_back)}, {4, on_wire(result)}},
       [&](IAppServer& s, Outputs& o) {
         o.owner = owner_in;
         return s.AS_RowRequest(u"dspAux", params_in, 4, o.owner, o.result);
       },
       {"text dspAux", params_sent, "int32 4", owner_sent, "null"},
       {0, {}, owner_back, result}},
      {"TdmPrincipal.AS_Execute",
       {{WideStringType, kIn}, {WideStringType, kIn}, {VariantType, kInOut}, {VariantType, kInOut}},
       {{2, on_wire(params_back)}, {3, on_wire(owner_back)}},
       [&](IAppServer& s, Outputs& o) {
         o.params = params_in;
         o.owner = owner_in;
         return s.AS_Execute(u"dspAux", u"DELETE", o.params, o.owner);
       },
       {"text dspAux", "text DELETE", params_sent, owner_sent},
       {0, params_back, owner_back, {}}},
  };
  const std::shared_ptr<IAppServer> provider = dssPrincipal.GetServer();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    server.events.clear();
    server.sent.clear();
    server.parameters = c.parameters;
    server.reply = c.reply;
    Outputs out;
    const AppServerStatus status = c.call(*provider, out);
    ASSERT_FALSE(status.Failed()) << to_utf8(status.ErrorText);
    EXPECT_EQ(server.events, (Events{"driver command DataSnap.ServerMethod", "open",
                                     "prepare " + std::string(c.command), "execute"}));
    ASSERT_EQ(server.sent.size(), 1u);
    EXPECT_EQ(server.sent[0], c.sent);
    EXPECT_EQ(out, c.expected);
  }
}

}  // namespace
}  // namespace wardenix
