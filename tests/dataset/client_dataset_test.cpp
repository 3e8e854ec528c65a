// The client dataset on the paths the probe and the watchdog drive, with a
// recording stand-in for the provider.
#include "dataset/client_dataset.h"

#include <gtest/gtest.h>

#include <optional>

#include "runtime/errors.h"
#include "tests/dataset/packet_writer.h"
#include "tests/dataset/store_test_support.h"

namespace wardenix {
namespace {

using namespace test;

struct GetRecordsCall {
  UString provider;
  std::int32_t count;
  std::int32_t recs_out;
  std::int32_t options;
  UString command;
  Variant params;
  Variant owner_data;
};

class RecordingAppServer : public IAppServer {
 public:
  std::vector<GetRecordsCall> calls;
  Variant packet;
  std::int32_t rows = 1;
  AppServerStatus fetch_status;  // what a fetch reports
  AppServerStatus reset_status;  // what a reset call reports
  Variant owner_data_reply;

  AppServerStatus AS_GetRecords(const UString& ProviderName, std::int32_t Count,
                                std::int32_t& RecsOut, std::int32_t Options,
                                const UString& CommandText, Variant& Params, Variant& OwnerData,
                                Variant& Result) override {
    calls.push_back({ProviderName, Count, RecsOut, Options, CommandText, Params, OwnerData});
    if (!owner_data_reply.is_empty()) OwnerData = owner_data_reply;
    if (Options & grReset) return reset_status;
    if (fetch_status.Failed()) return fetch_status;
    RecsOut = rows;
    Result = packet;
    return {};
  }
  AppServerStatus AS_ApplyUpdates(const UString&, const Variant&, std::int32_t, std::int32_t&,
                                  Variant&, Variant&) override { return unused(); }
  AppServerStatus AS_DataRequest(const UString&, const Variant&, Variant&) override { return unused(); }
  AppServerStatus AS_GetProviderNames(Variant&) override { return unused(); }
  AppServerStatus AS_GetParams(const UString&, Variant&, Variant&) override { return unused(); }
  AppServerStatus AS_RowRequest(const UString&, const Variant&, std::int32_t, Variant&,
                                Variant&) override { return unused(); }
  AppServerStatus AS_Execute(const UString&, const UString&, Variant&, Variant&) override {
    return unused();
  }

  std::size_t resets() const {
    std::size_t n = 0;
    for (const auto& c : calls) n += (c.options & grReset) ? 1 : 0;
    return n;
  }

 private:
  static AppServerStatus unused() { return AppServerStatus::Failure(kProviderUnexpected, u"unused"); }
};

class StubRemoteServer : public TCustomRemoteServer {
 public:
  std::shared_ptr<RecordingAppServer> app = std::make_shared<RecordingAppServer>();
  std::shared_ptr<IAppServer> GetServer() override { return app; }
  void Disconnected() { SendConnectEvent(false); }
};

Variant packet_variant(std::vector<OptionSpec> options = {}, std::int32_t id = 1) {
  PacketWriter w(TableSpec{{column("ID", 1, 4), column("NAME", 9, 2, kVarying)}, std::move(options)});
  w.begin_row(2).value(le(static_cast<std::uint32_t>(id), 4)).varying(2, "x").end_row();
  return Variant::from_bytes(w.finish());
}

class ClientDataSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.app->packet = packet_variant();
    cds.SetProviderName(u"dspAux");
    cds.SetRemoteServer(&server);
  }
  RecordingAppServer& app() { return *server.app; }

  StubRemoteServer server;
  TClientDataSet cds{u"cdsGet_Data"};
};

TEST_F(ClientDataSetTest, SetDataWithAPacketOpensWithoutCallingTheProvider) {
  cds.SetData(packet_variant());
  EXPECT_TRUE(cds.Active());
  EXPECT_EQ(cds.State(), dsBrowse);
  ASSERT_NE(cds.DSBase(), nullptr);
  EXPECT_EQ(cds.DSBase()->RowCount(), 1u);
  EXPECT_FALSE(cds.HasSavedPacket());
  cds.Open();  // already active: nothing
  cds.Close();
  EXPECT_FALSE(cds.Active());
  EXPECT_EQ(cds.DSBase(), nullptr);
  EXPECT_TRUE(cds.FieldDefs().empty());
  EXPECT_TRUE(app().calls.empty());
}

TEST_F(ClientDataSetTest, NullThenOpenFetchesAndTheNextCloseResetsOnce) {
  cds.SetData(Variant::Null());
  EXPECT_FALSE(cds.Active());
  EXPECT_FALSE(cds.HasSavedPacket());
  cds.Open();
  EXPECT_TRUE(cds.Active());
  ASSERT_EQ(app().calls.size(), 1u);
  const auto& fetch = app().calls[0];
  EXPECT_EQ(fetch.provider, u"dspAux");
  EXPECT_EQ(fetch.count, -1);
  EXPECT_EQ(fetch.recs_out, 0);
  EXPECT_EQ(fetch.options, grMetaData);
  EXPECT_EQ(fetch.command, u"");
  EXPECT_TRUE(fetch.params.is_null());
  EXPECT_TRUE(fetch.owner_data.is_empty());
  EXPECT_TRUE(cds.HasAppServer());

  cds.Close();
  ASSERT_EQ(app().calls.size(), 2u);
  const auto& reset = app().calls[1];
  EXPECT_EQ(reset.provider, u"dspAux");
  EXPECT_EQ(reset.count, 0);
  EXPECT_EQ(reset.recs_out, 0);
  EXPECT_EQ(reset.options, grReset);
  EXPECT_EQ(reset.command, u"");
  EXPECT_TRUE(reset.params.is_empty());
  EXPECT_FALSE(cds.HasAppServer());
  cds.Close();
  EXPECT_EQ(app().calls.size(), 2u);
}

TEST_F(ClientDataSetTest, NoResetCallOptionSuppressesTheReset) {
  app().packet = packet_variant({bool_option("NO_RESET_CALL", true)});
  cds.Open();
  EXPECT_TRUE(cds.DSOptions().Contains(doNoResetCall));
  cds.Close();
  EXPECT_EQ(app().resets(), 0u);
  EXPECT_FALSE(cds.HasAppServer());
}

TEST_F(ClientDataSetTest, OnlyBooleanTrueOptionsCount) {
  cds.SetData(packet_variant({bool_option("DISABLE_EDITS", true), int_option("DISABLE_INSERTS", 1),
                              bool_option("DISABLE_DELETES", false),
                              text_option("NO_RESET_CALL", "true")}));
  EXPECT_TRUE(cds.DSOptions().Contains(doDisableEdits));
  EXPECT_FALSE(cds.DSOptions().Contains(doDisableInserts));
  EXPECT_FALSE(cds.DSOptions().Contains(doDisableDeletes));
  EXPECT_FALSE(cds.DSOptions().Contains(doNoResetCall));
  EXPECT_EQ(cds.GetOptionalParam(u"disable_inserts"), Variant::from_int32(1));
  EXPECT_EQ(cds.GetOptionalParam(u"DISABLE_EDITS"), Variant::from_bool(true));
  EXPECT_TRUE(cds.GetOptionalParam(u"ABSENT").is_empty());
  cds.Close();
  try {
    cds.GetOptionalParam(u"DISABLE_EDITS");
    FAIL() << "no error on a closed dataset";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), u"Cannot perform this operation on a closed dataset");
  }
}

TEST_F(ClientDataSetTest, SetDataAfterAFetchSendsTheResetThenLoads) {
  cds.Open();
  cds.SetData(packet_variant({}, 42));
  EXPECT_EQ(app().calls.size(), 2u);
  EXPECT_EQ(app().resets(), 1u);
  EXPECT_TRUE(cds.Active());
  EXPECT_EQ(bytes_of(cds.DSBase()->Row(0).values()[0].bytes), le(42, 4));
}

template <typename E>
std::optional<E> error_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const E& e) {
    return e;
  }
  return std::nullopt;
}

TEST_F(ClientDataSetTest, PacketCheck) {
  const auto message_of = [&](const Variant& v) {
    try {
      cds.SetData(v);
    } catch (const EDBClient&) {
      return UString(u"EDBClient");
    } catch (const EDatabaseError& e) {
      return e.Message();
    }
    return UString(u"accepted");
  };
  EXPECT_EQ(message_of(Variant()), u"Invalid data packet");
  EXPECT_EQ(message_of(Variant::from_string(u"a packet")), u"Invalid data packet");
  EXPECT_EQ(message_of(Variant::from_int32(7)), u"Invalid data packet");
  EXPECT_EQ(message_of(Variant::from_bytes(Bytes(21, 0x41))), u"Invalid data packet");
  EXPECT_FALSE(cds.Active());
  EXPECT_FALSE(cds.HasSavedPacket());

  const auto e = error_of<EDBClient>([&] { cds.SetData(Variant::from_bytes(Bytes(22, 0x41))); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Message(), u"Mismatch in datapacket.");
  EXPECT_EQ(e->ErrorCode(), 16389);
  EXPECT_FALSE(cds.Active());
  EXPECT_EQ(cds.DSBase(), nullptr);
  EXPECT_TRUE(app().calls.empty());
}

TEST_F(ClientDataSetTest, StoreRejectionsAreEDBClientWithTheirStatus) {
  HeaderSpec no_metadata;
  no_metadata.flags = 0;
  const Variant packet = Variant::from_bytes(
      PacketWriter(TableSpec{{column("A", 1, 4)}, {}}, no_metadata).finish());
  const auto e = error_of<EDBClient>([&] { cds.SetData(packet); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Message(), u"Datapacket contains no meta data.");
  EXPECT_EQ(e->ErrorCode(), 16387);
  EXPECT_FALSE(cds.Active());
  EXPECT_EQ(cds.DSBase(), nullptr);
}

TEST(ClientDataSet, MissingDataProviderOrDataPacket) {
  TClientDataSet unnamed;
  try {
    unnamed.Open();
    FAIL() << "opened without a packet";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), u"Missing data provider or data packet");
  }
  StubRemoteServer server;
  server.app->packet = Variant::Null();
  TClientDataSet cds(u"cdsGet_Data");
  cds.SetProviderName(u"dspAux");
  cds.SetRemoteServer(&server);
  try {
    cds.Open();
    FAIL() << "opened on a Null packet";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), u"cdsGet_Data: Missing data provider or data packet");
  }
  EXPECT_FALSE(cds.Active());
}

TEST_F(ClientDataSetTest, ProviderFailureReachesTheCallerAsEOleException) {
  app().fetch_status = AppServerStatus::Failure(kProviderUnexpected, u"Connection lost");
  app().reset_status = AppServerStatus::Failure(kProviderUnexpected, u"still lost");
  const auto e = error_of<EOleException>([&] { cds.Open(); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Message(), u"Connection lost");
  EXPECT_EQ(e->ErrorCode(), kProviderUnexpected);
  EXPECT_FALSE(cds.Active());
  EXPECT_FALSE(cds.HasAppServer());
  EXPECT_EQ(cds.DSBase(), nullptr);
}

// A failed reset call still leaves the dataset without store and provider
// reference; the next open fetches a fresh packet.
TEST_F(ClientDataSetTest, FailedResetCallReleasesEverythingThenReports) {
  cds.Open();
  app().reset_status = AppServerStatus::Failure(-5, u"reset failed");
  const auto e = error_of<EOleException>([&] { cds.Close(); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Message(), u"reset failed");
  EXPECT_EQ(e->ErrorCode(), -5);
  EXPECT_FALSE(cds.Active());
  EXPECT_EQ(cds.DSBase(), nullptr);
  EXPECT_FALSE(cds.HasAppServer());
  app().reset_status = {};
  app().packet = packet_variant({}, 9);
  cds.Open();
  EXPECT_EQ(bytes_of(cds.DSBase()->Row(0).values()[0].bytes), le(9, 4));
  EXPECT_EQ(app().calls.size(), 3u);
}

TEST_F(ClientDataSetTest, RemoteServerChangeWhileActiveIsRefusedBeforeAnythingChanges) {
  cds.Open();
  StubRemoteServer other;
  cds.SetRemoteServer(&server);  // the same value: nothing, even while active
  const auto e = error_of<EDatabaseError>([&] { cds.SetRemoteServer(&other); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Message(), u"Cannot perform this operation on an open dataset");
  EXPECT_EQ(cds.RemoteServer(), &server);
  EXPECT_TRUE(cds.HasAppServer());
  server.Disconnected();  // still registered: the notice arrives
  EXPECT_FALSE(cds.HasAppServer());
  cds.Close();
  EXPECT_EQ(app().resets(), 0u);  // the reference went with the disconnect
}

TEST_F(ClientDataSetTest, ProviderNameWhileActive) {
  cds.SetData(packet_variant());
  EXPECT_THROW(cds.SetProviderName(u"other"), EDatabaseError);
  EXPECT_EQ(cds.ProviderName(), u"dspAux");
  cds.SetProviderName(u"");  // clearing is allowed
  EXPECT_EQ(cds.ProviderName(), u"");
}

TEST(ClientDataSet, RemovalNoticeClearsTheRemoteServer) {
  TClientDataSet cds(u"cdsGet_Data");
  {
    StubRemoteServer server;
    cds.SetRemoteServer(&server);
  }
  EXPECT_EQ(cds.RemoteServer(), nullptr);
  // The other order: a destroyed dataset is no longer on the server's lists.
  StubRemoteServer server;
  {
    TClientDataSet short_lived;
    short_lived.SetRemoteServer(&server);
  }
  server.Disconnected();
}

TEST_F(ClientDataSetTest, EventsAndOwnerData) {
  std::vector<std::string> seen;
  cds.BeforeOpen = [&](TClientDataSet&) { seen.push_back("BeforeOpen"); };
  cds.AfterOpen = [&](TClientDataSet&) { seen.push_back("AfterOpen"); };
  cds.BeforeClose = [&](TClientDataSet&) { seen.push_back("BeforeClose"); };
  cds.AfterClose = [&](TClientDataSet&) { seen.push_back("AfterClose"); };
  cds.BeforeGetRecords = [&](TClientDataSet&, Variant& owner) {
    EXPECT_TRUE(owner.is_empty());
    owner = Variant::from_int32(1);
    seen.push_back("BeforeGetRecords");
  };
  cds.AfterGetRecords = [&](TClientDataSet&, Variant& owner) {
    EXPECT_EQ(owner, Variant::from_int32(2));
    seen.push_back("AfterGetRecords");
  };
  app().owner_data_reply = Variant::from_int32(2);
  cds.Open();
  EXPECT_EQ(app().calls[0].owner_data, Variant::from_int32(1));
  cds.Close();
  const std::vector<std::string> expected{"BeforeOpen",  "BeforeGetRecords", "AfterGetRecords",
                                          "AfterOpen",   "BeforeClose",      "BeforeGetRecords",
                                          "AfterGetRecords", "AfterClose"};
  EXPECT_EQ(seen, expected);
}

TEST(ClientDataSet, WithoutProviderNameTheContentsSurviveAClose) {
  TClientDataSet cds;
  cds.SetData(packet_variant({}, 5));
  cds.Close();
  EXPECT_TRUE(cds.HasSavedPacket());
  cds.Open();
  ASSERT_NE(cds.DSBase(), nullptr);
  EXPECT_EQ(bytes_of(cds.DSBase()->Row(0).values()[0].bytes), le(5, 4));
}

TEST(ClientDataSet, FieldDefinitionsFollowTheNamingRules) {
  ColumnSpec long_named = column(std::string(40, 'L'), 1, 4);
  long_named.options.push_back(text_option("FIELDNAME", std::string(40, 'L')));
  ColumnSpec autoinc = column("id", 1, 4);
  autoinc.options.push_back(text_option("SUBTYPE", "Autoinc"));
  const TableSpec table{{column("ID", 1, 4), autoinc, column("ID_1", 9, 2, kVarying), long_named,
                         column(std::string(31, 'S'), 2, 2),
                         nested_column("N", {column("ID", 1, 2), column("ID", 1, 2)})},
                        {}};
  TClientDataSet cds;
  cds.SetData(Variant::from_bytes(PacketWriter(table).finish()));
  const auto& defs = cds.FieldDefs();
  ASSERT_EQ(defs.size(), 6u);
  EXPECT_EQ(defs[0].Name, u"ID");
  EXPECT_EQ(defs[1].Name, u"id_1");
  EXPECT_EQ(defs[1].Attributes, column_attribute::kReadOnly);
  EXPECT_EQ(defs[2].Name, u"ID_1_1");
  EXPECT_EQ(defs[3].Name, UString(40, u'L'));
  EXPECT_EQ(defs[4].Name, UString(31, u'S'));
  EXPECT_EQ(defs[4].DataType, 2u);
  EXPECT_EQ(defs[4].Size, 2u);
  ASSERT_EQ(defs[5].ChildDefs.size(), 2u);
  EXPECT_EQ(defs[5].ChildDefs[1].Name, u"ID_1");
}

}  // namespace
}  // namespace wardenix
