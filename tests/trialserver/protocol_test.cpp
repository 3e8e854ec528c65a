// The trial server speaking the remote-call protocol, seen from a client
// built on the project's own wire layer.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "dataset/data_store.h"
#include "runtime/errors.h"
#include "runtime/variant_stream.h"
#include "tests/trialserver/harness/trial_harness.h"
#include "tests/trialserver/wire_client.h"
#include "trialserver/socket.h"
#include "wire/filter_announcement.h"
#include "wire/pass_through_filter.h"

namespace wardenix::trial {
namespace {

using namespace std::chrono_literals;
using test::ClientRow;
using test::ExecuteReply;
using test::WireClient;
using testing::TrialProcess;
namespace fs = std::filesystem;

constexpr char16_t kRid[] = u"58013742QHZVMTRB";
constexpr char16_t kMethodType[] = u"DataSnap.ServerMethod";
constexpr char16_t kConsultas[] = u"TdtmPrincipal._Consultas";
constexpr char16_t kGetRecords[] = u"TdmPrincipal.AS_GetRecords";
constexpr char16_t kQuery[] = u"SELECT * FROM GR_VERSAO";

using Properties = std::vector<std::pair<UString, UString>>;

const Properties& probe_properties() {
  static const Properties properties = {
      {u"Port", u"3063"},        {u"RIDaduvorod", kRid},   {u"HostName", u"127.0.0.1"},
      {u"DriverName", u"Datasnap"}, {u"VendorLib", u""},  {u"LibraryName", u""},
      {u"GetDriverFunc", u""},   {u"DriverUnit", u"DbxDatasnap"},
      {u"CommunicationProtocol", u"tcp/ip"}};
  return properties;
}

std::string text(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}
std::span<const std::uint8_t> bytes_of(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// The message of the TDBXError that `action` raises, with its code.
template <typename Action>
std::pair<std::int32_t, UString> dbx_error_of(Action action) {
  try {
    action();
  } catch (const TDBXError& error) {
    return {error.ErrorCode(), error.Message()};
  }
  ADD_FAILURE() << "no TDBXError";
  return {-1, {}};
}

class Protocol : public ::testing::Test {
 protected:
  // Starts a trial server on a free port; returns the port, 0 on failure.
  std::uint16_t start(std::vector<std::string> arguments = {}) {
    const fs::path port_file = dir_.path() / ("port" + std::to_string(servers_.size()));
    for (const char* extra : {"--port", "0", "--exit-after", "120", "--port-file"}) {
      arguments.push_back(extra);
    }
    arguments.push_back(port_file.string());
    servers_.push_back(std::make_unique<TrialProcess>(testing::trial_server_path(), arguments));
    return testing::read_port_file(port_file, 20s);
  }

  // A client that has connected with the probe's properties.
  std::unique_ptr<WireClient> connected(std::uint16_t port) {
    auto client = std::make_unique<WireClient>(port);
    connection_handle_ = client->Connect(probe_properties());
    return client;
  }

  std::int32_t connection_handle_ = -1;

 private:
  testing::TempDir dir_;
  std::vector<std::unique_ptr<TrialProcess>> servers_;
};

// The row of an execution of _Consultas: the query, and the unset result.
std::vector<std::uint8_t> consultas_row(UStringView sql) {
  TDBXRowBuffer row = ClientRow();
  row.WriteString(sql);
  row.WriteNull();
  return {row.Written().begin(), row.Written().end()};
}

// Loads a data packet the way the client dataset does; returns the store's status.
std::int32_t load_packet(const Variant& packet, DataStore& store) {
  return store.AppendPacket(packet, true);
}

// The value at `ordinal` of the reply row, read as the variant it carries.
Variant reply_variant(WireClient& client, std::int32_t handle, const ExecuteReply& reply,
                      std::int32_t ordinal) {
  TDBXRowBuffer row = ClientRow();
  client.LoadReplyRow(row, handle, reply);
  const auto source = row.ReadBytes(ordinal);
  if (!source) return Variant::Null();
  return ReadOleVariant(*source);
}

void expect_versao_table(const Variant& packet, std::size_t rows) {
  ASSERT_TRUE(packet.is_byte_array());
  DataStore store;
  ASSERT_EQ(load_packet(packet, store), 0);
  const PacketTable& table = store.Table();
  ASSERT_EQ(table.columns.size(), 5u);
  EXPECT_EQ(table.columns[0].name, "ID");
  EXPECT_EQ(table.columns[1].name, "VERSAO");
  EXPECT_EQ(table.columns[1].width, 20);
  EXPECT_EQ(table.columns[4].name, "OBSERVACAO");
  ASSERT_EQ(store.RowCount(), rows);
  const auto last = store.Row(rows - 1).values();
  ASSERT_EQ(last.size(), 5u);
  const std::string version = "1." + std::to_string(rows - 1) + ".0";
  EXPECT_EQ(text(last[1].bytes), version);
  EXPECT_EQ(last[3].bytes[0], 1);  // ATUAL on the last row only
}

// ---- the transport handshake

TEST_F(Protocol, AnswersTheHandshakeAsTheCommandLineSays) {
  struct Case {
    const char* handshake;
    std::string answer;  // the exact bytes
  };
  const std::string framed = std::string("\x0D\x00\x00\x00\x02{}", 7);
  const std::string filter = WriteFilterAnnouncement([] {
    TTransportFilterCollection filters;
    filters.push_back(std::make_unique<TPassThroughFilter>(u"PassThrough"));
    return filters;
  }());
  const std::string announced =
      std::string("\x0D\x00\x00\x00", 4) + static_cast<char>(filter.size()) + filter;
  for (const Case& c : {Case{"unfiltered", std::string("\x06\x00\x00\x00\x00", 5)},
                        Case{"framed", framed}, Case{"filter", announced}}) {
    SCOPED_TRACE(c.handshake);
    const std::uint16_t port = start({"--handshake", c.handshake});
    ASSERT_NE(port, 0);
    auto raw = connect_loopback(port);
    ASSERT_TRUE(raw);
    const std::string request(5, '\x05');
    ASSERT_TRUE(raw->send_all(std::as_bytes(std::span(request))));
    std::string got;
    std::byte buffer[64];
    while (got.size() < c.answer.size() && raw->wait_readable(10s)) {
      const auto n = raw->receive(buffer);
      if (n <= 0) break;
      got.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n));
    }
    EXPECT_EQ(got, c.answer);
  }
}

TEST_F(Protocol, FramedTrafficCarriesTheWholeConversation) {
  const std::uint16_t port = start({"--handshake", "framed"});
  ASSERT_NE(port, 0);
  auto client = connected(port);
  EXPECT_EQ(client->Channel().State(), TDBXFilterSocketChannel::Negotiation::kFiltered);
  EXPECT_TRUE(client->Channel().Filters().empty());
  EXPECT_GE(connection_handle_, 0);
  EXPECT_EQ(client->Prepare(kMethodType, kConsultas).parameters.size(), 2u);
}

TEST_F(Protocol, AnnouncedFilterStopsAClientThatDoesNotKnowIt) {
  const std::uint16_t port = start({"--handshake", "filter", "--filter-id", "Cifra"});
  ASSERT_NE(port, 0);
  {
    WireClient client(port);
    const auto [code, message] = dbx_error_of([&] { client.SendConnect(probe_properties()); });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(message,
              u"Communication filter Cifra is not registered. Filter class needs to be registered "
              u"in order to communicate with the server.");
  }
  // A client that knows the filter talks through it.
  TTransportFilterFactory::RegisterFilter(u"Cifra",
                                          [] { return std::make_unique<TPassThroughFilter>(u"Cifra"); });
  auto client = connected(port);
  TTransportFilterFactory::UnregisterFilter(u"Cifra");
  EXPECT_EQ(client->Channel().Filters().size(), 1u);
  EXPECT_EQ(client->Prepare(kMethodType, kConsultas).parameters.size(), 2u);
}

// ---- connect and disconnect

TEST_F(Protocol, ConnectAnswersAHandleAndTheProductName) {
  const std::uint16_t port = start();
  ASSERT_NE(port, 0);
  WireClient first(port);
  first.Recorder().TakeReceived();
  first.SendConnect(probe_properties());
  first.Reader().NextResultObjectStart();
  first.Reader().SkipToEndOfObject();
  const std::string reply = first.Recorder().TakeReceived();
  // {"result":[<handle>,"DAZEVAVIZ"]}
  ASSERT_TRUE(reply.starts_with("{\"result\":[")) << reply;
  EXPECT_TRUE(reply.ends_with(",\"DAZEVAVIZ\"]}")) << reply;
  const std::string handle = reply.substr(11, reply.size() - 11 - 14);
  EXPECT_FALSE(handle.empty());
  EXPECT_EQ(handle.find_first_not_of("0123456789"), std::string::npos) << handle;

  // Each connection gets a handle of its own.
  WireClient second(port);
  EXPECT_NE(std::to_string(second.Connect(probe_properties())), handle);
}

TEST_F(Protocol, RequiredAccessCodeRefusesOtherConnections) {
  const std::uint16_t port = start({"--rid", "58013742QHZVMTRB"});
  ASSERT_NE(port, 0);
  struct Case {
    const char* name;
    Properties properties;
    bool accepted;
  };
  const std::vector<Case> cases = {
      {"right code", probe_properties(), true},
      {"wrong code", {{u"Port", u"3063"}, {u"RIDaduvorod", u"58013742QHZVMTRX"}}, false},
      {"code in other case", {{u"RIDaduvorod", u"58013742qhzvmtrb"}}, false},
      {"no code", {{u"Port", u"3063"}, {u"HostName", u"127.0.0.1"}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WireClient client(port);
    if (c.accepted) {
      EXPECT_GE(client.Connect(c.properties), 0);
      continue;
    }
    client.Recorder().TakeReceived();
    const auto [code, message] = dbx_error_of([&] { client.Connect(c.properties); });
    EXPECT_EQ(code, 12);
    EXPECT_EQ(message, u"Acesso negado: RIDaduvorod inv\u00E1lido");
    EXPECT_TRUE(client.Recorder().TakeReceived().starts_with("{\"error\":{\"name\":\"EAcessoNegado\","));
    // Refused, the connection cannot run anything.
    const auto refused = dbx_error_of([&] { client.Prepare(kMethodType, kConsultas); });
    EXPECT_EQ(refused.first, 21);
  }
}

TEST_F(Protocol, AnyAccessCodeIsAcceptedWhenNoneIsRequired) {
  const std::uint16_t port = start();
  ASSERT_NE(port, 0);
  WireClient client(port);
  EXPECT_GE(client.Connect({{u"RIDaduvorod", u"qualquer"}}), 0);
}

TEST_F(Protocol, DisconnectIsNotAnsweredAndEndsTheConnection) {
  const std::uint16_t port = start();
  ASSERT_NE(port, 0);
  auto client = connected(port);
  client->Recorder().TakeReceived();
  client->SendDisconnect(connection_handle_);
  std::uint8_t buffer[16];
  EXPECT_EQ(client->Channel().Read(buffer), 0);
  EXPECT_EQ(client->Recorder().TakeReceived(), "");
}

// ---- the metadata command

TEST_F(Protocol, MetaDataCommandAnswersOneRowWithTheDatabaseColumns) {
  const std::uint16_t port = start();
  ASSERT_NE(port, 0);
  auto client = connected(port);
  const auto prepared = client->Prepare(u"Dbx.MetaData", u"GetDatabase");
  EXPECT_GE(prepared.handle, 1);
  EXPECT_TRUE(prepared.parameters.empty());

  // Prepared, then not prepared: both carry the same table.
  for (const bool prepare : {true, false}) {
    SCOPED_TRACE(prepare ? "prepared" : "not prepared");
    if (prepare) {
      client->SendExecute(prepared.handle, {});
    } else {
      client->SendUnpreparedExecute(u"Dbx.MetaData", u"GetDatabase");
    }
    const ExecuteReply reply = client->ReadExecuteReply();
    ASSERT_TRUE(reply.handle);
    if (prepare) {
      EXPECT_EQ(*reply.handle, prepared.handle);
    }
    std::vector<UString> names;
    for (const auto& column : reply.columns) names.push_back(column.name);
    EXPECT_EQ(names, (std::vector<UString>{
                         u"QuoteChar", u"ProcedureQuoteChar", u"MaxCommands",
                         u"SupportsTransactions", u"SupportsNestedTransactions",
                         u"SupportsRowSetSize", u"QuotePrefix", u"QuoteSuffix",
                         u"SupportsLowerCaseIdentifiers", u"SupportsUpperCaseIdentifiers",
                         u"SupportsSPReturnCode"}));
    TDBXRowBuffer row(WireClient::kBufferSize, true, false);
    row.LoadRow(reply.table_rows);
    row.SetColumnCount(static_cast<std::int32_t>(names.size()));
    EXPECT_EQ(row.ReadString(0), u"\"");
    EXPECT_EQ(row.ReadString(1), u"\"");
    EXPECT_EQ(row.ReadInt32(2), 0);
    EXPECT_TRUE(row.ReadBoolean(3)) << "transactions";
    EXPECT_TRUE(row.ReadBoolean(9));
    EXPECT_FALSE(row.NextRow()) << "one row only";
  }
}

// ---- the method list

// The names in the "MethodAlias" column of a method list reply.
std::vector<UString> method_aliases(const ExecuteReply& reply) {
  std::vector<UString> names;
  if (reply.columns.size() != 1 || reply.columns[0].name != u"MethodAlias") {
    ADD_FAILURE() << "not the method list's one column";
    return names;
  }
  TDBXRowBuffer row(WireClient::kBufferSize, true, false);
  row.LoadRow(reply.table_rows);
  row.SetColumnCount(1);
  if (reply.table_rows.empty()) return names;
  do {
    names.push_back(row.ReadString(0));
  } while (row.NextRow());
  return names;
}

TEST_F(Protocol, MethodListNamesEveryMethodOfBothServerClasses) {
  const std::uint16_t port = start();
  ASSERT_NE(port, 0);
  auto client = connected(port);
  const auto prepared = client->Prepare(kMethodType, u"DSAdmin.GetServerMethods");
  ASSERT_EQ(prepared.parameters.size(), 1u);
  EXPECT_EQ(prepared.parameters[0].data_type, 23) << "a table";
  EXPECT_EQ(prepared.parameters[0].direction, 4);

  std::vector<std::vector<UString>> lists;
  client->SendExecute(prepared.handle, std::vector<std::uint8_t>{0xC0});  // the unset result
  lists.push_back(method_aliases(client->ReadExecuteReply()));
  client->SendUnpreparedExecute(kMethodType, u"DSAdmin.GetServerMethods");
  lists.push_back(method_aliases(client->ReadExecuteReply()));
  EXPECT_EQ(lists[0], lists[1]);
  const std::vector<UString>& names = lists[0];

  ASSERT_EQ(names.size(), 49u + 7u + 1u);
  // The catalogue in the proxy's order, the provider operations, the list.
  EXPECT_EQ(names.front(), u"TdtmPrincipal._VerificaTipodaCertidao");
  EXPECT_EQ(names[9], u"TdtmPrincipal.sqlAuxAfterClose");
  EXPECT_EQ(names[14], u"TdtmPrincipal.LiberaCurConnection");
  EXPECT_EQ(names[23], u"TdtmPrincipal._Consultas");
  EXPECT_EQ(names[48], u"TdtmPrincipal._CarregaOFFLINE");
  EXPECT_EQ(std::vector<UString>(names.begin() + 49, names.end() - 1),
            (std::vector<UString>{u"TdmPrincipal.AS_ApplyUpdates", u"TdmPrincipal.AS_GetRecords",
                                  u"TdmPrincipal.AS_DataRequest", u"TdmPrincipal.AS_GetProviderNames",
                                  u"TdmPrincipal.AS_GetParams", u"TdmPrincipal.AS_RowRequest",
                                  u"TdmPrincipal.AS_Execute"}));
  EXPECT_EQ(names.back(), u"DSAdmin.GetServerMethods");

  // Every name listed is a command the server prepares.
  for (const UString& name : names) {
    try {
      client->Prepare(kMethodType, name);
    } catch (const TDBXError& error) {
      ADD_FAILURE() << to_utf8(name) << ": " << to_utf8(error.Message());
    }
  }
}

// ---- the other methods of the catalogue

TEST_F(Protocol, CatalogueMethodsAreDescribedByTheirArgumentTypes) {
  const std::uint16_t port = start();
  ASSERT_NE(port, 0);
  auto client = connected(port);
  struct Case {
    const char16_t* method;
    std::vector<std::pair<std::int32_t, std::int32_t>> parameters;  // data type, direction
  };
  const std::vector<Case> cases = {
      {u"LiberaCurConnection", {}},
      {u"_GetHorario", {{24, 4}}},
      {u"_Set_UltAtvSM", {{24, 1}}},
      {u"_AtualizaContribuinte", {{35, 1}, {26, 3}, {6, 4}}},
      {u"_LocalizaCNT_CNPJ", {{26, 1}, {26, 1}, {4, 4}}},
      {u"_TaxaExpedienteDiversas", {{26, 1}, {26, 1}, {26, 1}, {7, 4}}},
      {u"_GeraRelCertidaoPDF",
       {{26, 1}, {26, 1}, {26, 1}, {26, 1}, {26, 1}, {6, 1}, {6, 1}, {26, 4}}},
      {u"_Salvar", {{35, 1}, {35, 1}, {35, 4}}},
      {u"_CodigoDeBarra",
       {{26, 1}, {26, 1}, {26, 1}, {26, 1}, {26, 1}, {26, 1}, {26, 1}, {26, 1}, {25, 1}, {26, 4}}},
  };
  for (const Case& c : cases) {
    const UString method = UString(u"TdtmPrincipal.") + c.method;
    SCOPED_TRACE(to_utf8(method));
    std::vector<std::pair<std::int32_t, std::int32_t>> got;
    for (const auto& p : client->Prepare(kMethodType, method).parameters) {
      got.emplace_back(p.data_type, p.direction);
    }
    EXPECT_EQ(got, c.parameters);
  }
}

TEST_F(Protocol, CatalogueRepliesEchoTheInputsAndAddTheResult) {
  const std::uint16_t port = start();
  ASSERT_NE(port, 0);
  auto client = connected(port);
  struct Case {
    const char16_t* method;
    std::string row;    // the client's parameter row
    std::string reply;  // the reply row
  };
  const std::string cnt_variant("\x10\x00\x09\x02\x03\x00\x00\x00\x05\x00\x00\x00", 12);
  const std::vector<Case> cases = {
      // No parameters: no row either way.
      {u"LiberaCurConnection", "", ""},
      // Inputs come back as they went, here without a result.
      {u"_EdtUsuario", "\x21" "a" "\x21" "b", "\x21" "a" "\x21" "b"},
      {u"_EdtUsuario", "\xC0\x20", "\xC0\x20"},
      // The in-out text gets its "*", the integer result counts the call
      // text "_AtualizaContribuinte(020300000005000000,CNT)": 45 = 0x2D.
      {u"_AtualizaContribuinte", cnt_variant + "\x23" "CNT" "\xC0",
       cnt_variant + "\x24" "CNT*" "\x61\x2D"},
      // Boolean results: false when an input is empty.
      {u"_EhFeriado", "\x21" "1" "\x20" "\xC0", "\x21" "1" "\x20" "\x20"},
      {u"_EhFeriado", "\x21" "1" "\x21" "2" "\xC0", "\x21" "1" "\x21" "2" "\x60"},
  };
  for (const Case& c : cases) {
    const UString method = UString(u"TdtmPrincipal.") + c.method;
    SCOPED_TRACE(to_utf8(method));
    const std::int32_t handle = client->Prepare(kMethodType, method).handle;
    client->Recorder().TakeReceived();
    client->SendExecute(handle, bytes_of(c.row));
    const ExecuteReply reply = client->ReadExecuteReply();
    EXPECT_EQ(text(reply.row), c.reply);
    if (c.reply.empty()) {
      EXPECT_EQ(client->Recorder().TakeReceived(),
                "{\"result\":[{\"handle\":[" + std::to_string(handle) + "]}]}");
    }
  }
}

// ---- transactions and vendor properties

TEST_F(Protocol, TransactionsCountUpPerConnectionAndEndOnce) {
  const std::uint16_t port = start();
  ASSERT_NE(port, 0);
  struct Step {
    const char* method;
    std::string params;
    std::string reply;  // the exact bytes
  };
  const auto invalid = [](int handle) {
    const std::string h = std::to_string(handle);
    // Latin-1 characters travel as one byte each.
    return "{\"error\":{\"name\":\"TDBXError\",\"code\":16,\"message\":\"Transa\xE7\xE3o " + h +
           " n\xE3o est\xE1 aberta\"}}";
  };
  const std::vector<Step> steps = {
      {"txbegin", "2", "{\"result\":[1]}"},
      {"txbegin", "8", "{\"result\":[2]}"},
      {"txend", "true,1", "{\"result\":[]}"},   // commit
      {"txend", "false,2", "{\"result\":[]}"},  // rollback
      {"txend", "true,1", invalid(1)},          // already ended
      {"txend", "false,7", invalid(7)},         // never begun
      {"txbegin", "2", "{\"result\":[3]}"},
      {"vendor_property", "\"ProductName\"", "{\"result\":[\"DAZEVAVIZ\"]}"},
      {"vendor_property", "\"ServerVersion\"", "{\"result\":[\"\"]}"},
  };
  const auto play = [](WireClient& client, const Step& step) {
    client.Recorder().TakeReceived();
    client.SendRaw(step.method, step.params);
    try {
      client.Reader().NextResultObjectStart();
      client.Reader().SkipToEndOfObject();
    } catch (const TDBXError&) {
      // An error object: its bytes are what the step expects.
    }
    return client.Recorder().TakeReceived();
  };
  auto first = connected(port);
  for (const Step& step : steps) {
    SCOPED_TRACE(step.method + (" " + step.params));
    EXPECT_EQ(play(*first, step), step.reply);
  }
  // Another connection counts from 1 and cannot end the first one's.
  auto second = connected(port);
  EXPECT_EQ(play(*second, {"txend", "true,3", ""}), invalid(3));
  EXPECT_EQ(play(*second, steps[0]), steps[0].reply);
  EXPECT_EQ(play(*first, {"txend", "true,3", ""}), "{\"result\":[]}");

  // Not connected yet: refused.
  WireClient stranger(port);
  const auto [code, message] = dbx_error_of([&] {
    stranger.SendRaw("txbegin", "2");
    stranger.Reader().NextResultObjectStart();
  });
  EXPECT_EQ(code, 21);
}

// ---- _Consultas

TEST_F(Protocol, ConsultasDescribesOneTextInputAndAVariantResult) {
  const std::uint16_t port = start();
  ASSERT_NE(port, 0);
  auto client = connected(port);
  client->Recorder().TakeReceived();
  const auto prepared = client->Prepare(kMethodType, kConsultas);
  EXPECT_EQ(client->Recorder().TakeReceived(),
            "{\"result\":[{\"handle\":[" + std::to_string(prepared.handle) +
                "]},{\"parameters\":[2,[26,0,1,0,0,\"vSQL\",0,0,0],"
                "[35,0,4,0,0,\"ReturnParameter\",0,0,0]]}]}");
  ASSERT_EQ(prepared.parameters.size(), 2u);
  EXPECT_EQ(prepared.parameters[0].data_type, 26);
  EXPECT_EQ(prepared.parameters[0].direction, 1);
  EXPECT_EQ(prepared.parameters[1].data_type, 35);
  EXPECT_EQ(prepared.parameters[1].direction, 4);
}

TEST_F(Protocol, ConsultasReturnsTheVersaoTableAsADataPacket) {
  const std::uint16_t port = start();
  ASSERT_NE(port, 0);
  auto client = connected(port);
  const std::int32_t handle = client->Prepare(kMethodType, kConsultas).handle;
  // The request of the probe, byte for byte: 37, the query, C0.
  const auto row = consultas_row(kQuery);
  ASSERT_EQ(text(row), "\x37SELECT * FROM GR_VERSAO\xC0");
  for (int run = 0; run < 2; ++run) {  // a prepared command runs again
    client->SendExecute(handle, row);
    const ExecuteReply reply = client->ReadExecuteReply();
    // The query comes back as it went, the packet inline under header 10.
    ASSERT_GT(reply.row.size(), 24u + 3u);
    EXPECT_EQ(text(std::span(reply.row).first(24)), "\x37SELECT * FROM GR_VERSAO");
    EXPECT_EQ(reply.row[24], 0x10);
    EXPECT_EQ(reply.row[27], 0x03) << "a byte array in the variant stream";
    expect_versao_table(reply_variant(*client, handle, reply, 1), 3);
  }
}

TEST_F(Protocol, LargePacketIsPulledWithMoreBlob) {
  const std::uint16_t port = start({"--rows", "4000"});
  ASSERT_NE(port, 0);
  auto client = connected(port);
  const std::int32_t handle = client->Prepare(kMethodType, kConsultas).handle;
  client->SendExecute(handle, consultas_row(kQuery));
  const ExecuteReply reply = client->ReadExecuteReply();
  ASSERT_GT(reply.row.size(), 24u);
  EXPECT_EQ(reply.row[24], 0x50) << "a first part, the rest to follow";
  expect_versao_table(reply_variant(*client, handle, reply, 1), 4000);
  // Everything was pulled: asking once more is an error, and the
  // connection goes on.
  const auto [code, message] = dbx_error_of([&] {
    client->SendRaw("more_blob", std::to_string(handle) + ",9,0,1,true,0");
    client->ReadExecuteReply();
  });
  EXPECT_EQ(code, 4);
  EXPECT_EQ(client->Prepare(kMethodType, kConsultas).parameters.size(), 2u);
}

TEST_F(Protocol, LongQueryTextIsPulledFromTheClient) {
  const std::uint16_t port = start();
  ASSERT_NE(port, 0);
  auto client = connected(port);
  const std::int32_t handle = client->Prepare(kMethodType, kConsultas).handle;
  // Longer than the client's row takes inline: blanks after the query.
  const UString sql = UString(kQuery) + UString(40000, u' ');
  TDBXRowBuffer row = ClientRow();
  const auto rest = row.WriteString(sql);
  ASSERT_TRUE(rest);
  row.WriteNull();
  client->SendExecute(handle, std::vector<std::uint8_t>(row.Written().begin(), row.Written().end()));
  int requests = 0;
  for (bool last = false; !last; ++requests) {
    auto& reader = client->Reader();
    reader.Next(JsonToken::kObjectStart);
    ASSERT_EQ(reader.ReadStringCode(), JsonKeyword::kMoreBlob);
    reader.Next(JsonToken::kNameSeparator);
    reader.Next(JsonToken::kArrayStart);
    EXPECT_EQ(reader.ReadInt(), handle);
    reader.SkipToEndOfObject();
    client->Writer().WriteStreamChunk(*rest);
    last = rest->AtEnd();
  }
  EXPECT_GE(requests, 1);
  const ExecuteReply reply = client->ReadExecuteReply();
  TDBXRowBuffer answer = ClientRow();
  client->LoadReplyRow(answer, handle, reply);
  EXPECT_EQ(answer.ReadString(0), sql);
  expect_versao_table(reply_variant(*client, handle, reply, 1), 3);
}

TEST_F(Protocol, OtherQueriesAndCommandsAreAnsweredWithErrors) {
  const std::uint16_t port = start();
  ASSERT_NE(port, 0);
  auto client = connected(port);
  const std::int32_t handle = client->Prepare(kMethodType, kConsultas).handle;

  client->SendExecute(handle, consultas_row(u"SELECT * FROM GR_USUARIO"));
  auto error = dbx_error_of([&] { client->ReadExecuteReply(); });
  EXPECT_EQ(error.second, u"Consulta n\u00E3o dispon\u00EDvel: SELECT * FROM GR_USUARIO");

  for (const char16_t* method : {u"TdtmPrincipal._Inexistente", u"TdmOutro._Consultas"}) {
    error = dbx_error_of([&] { client->Prepare(kMethodType, method); });
    EXPECT_EQ(error.first, 27);
  }

  client->SendExecute(handle + 100, consultas_row(kQuery));
  error = dbx_error_of([&] { client->ReadExecuteReply(); });
  EXPECT_EQ(error.first, 4);

  for (const char* method : {"next", "sleep"}) {
    client->SendRaw(method, "1");
    error = dbx_error_of([&] { client->ReadExecuteReply(); });
    EXPECT_EQ(error.first, 27) << method;
  }

  // command_close and reader_close have no reply: the next reply is the
  // next request's.
  client->SendRaw("reader_close", "1," + std::to_string(handle));
  client->SendRaw("command_close", std::to_string(handle));
  error = dbx_error_of([&] {
    client->SendExecute(handle, consultas_row(kQuery));
    client->ReadExecuteReply();
  });
  EXPECT_EQ(error.first, 4) << "closed";
  EXPECT_EQ(client->Prepare(kMethodType, kConsultas).parameters.size(), 2u);
}

TEST_F(Protocol, MalformedRequestIsAnsweredThenTheConnectionEnds) {
  const std::uint16_t port = start();
  ASSERT_NE(port, 0);
  auto client = connected(port);
  const std::string garbage = "{\"method\":\"prepare\",\"params\":[x]}";
  client->Channel().Write(bytes_of(garbage));
  const auto [code, message] = dbx_error_of([&] { client->ReadPrepareReply(); });
  EXPECT_EQ(code, 2);
  std::uint8_t buffer[16];
  EXPECT_EQ(client->Channel().Read(buffer), 0);
}

// ---- AS_GetRecords

TEST_F(Protocol, GetRecordsOfDspAuxReturnsThePacketAndTheRowCount) {
  const std::uint16_t port = start();
  ASSERT_NE(port, 0);
  auto client = connected(port);
  const auto prepared = client->Prepare(kMethodType, kGetRecords);
  std::vector<std::int32_t> directions;
  for (const auto& p : prepared.parameters) directions.push_back(p.direction);
  EXPECT_EQ(directions, (std::vector<std::int32_t>{1, 1, 3, 1, 1, 3, 3, 4}));

  // The fetch at open and the reset call at close.
  struct Case {
    const char* name;
    std::int32_t count, options;
    std::int32_t rows_out;
    bool packet;
  };
  const std::vector<std::uint8_t> unassigned = WriteOleVariant(Variant());
  for (const Case& c : {Case{"fetch", -1, 1, 3, true}, Case{"reset", 0, 2, 0, false},
                        Case{"two rows", 2, 1, 2, true}}) {
    SCOPED_TRACE(c.name);
    TDBXRowBuffer row = ClientRow();
    row.WriteString(u"dspAux");
    row.WriteInt32(c.count);
    row.WriteInt32(0);
    row.WriteInt32(c.options);
    row.WriteString(u"");
    row.WriteNull();  // Params: Null
    MemoryByteSource owner(unassigned);
    row.WriteBytes(owner);  // OwnerData: unassigned
    row.WriteNull();
    client->SendExecute(prepared.handle,
                        std::vector<std::uint8_t>(row.Written().begin(), row.Written().end()));
    const ExecuteReply reply = client->ReadExecuteReply();
    TDBXRowBuffer answer = ClientRow();
    client->LoadReplyRow(answer, prepared.handle, reply);
    EXPECT_EQ(answer.ReadInt32(2), c.rows_out);
    EXPECT_TRUE(answer.GetNull(5));
    EXPECT_TRUE(reply_variant(*client, prepared.handle, reply, 6).is_empty());
    const Variant result = reply_variant(*client, prepared.handle, reply, 7);
    if (c.packet) {
      DataStore store;
      ASSERT_EQ(load_packet(result, store), 0);
      EXPECT_EQ(store.RowCount(), static_cast<std::size_t>(c.rows_out));
    } else {
      EXPECT_TRUE(result.is_null());
    }
  }

  TDBXRowBuffer row = ClientRow();
  row.WriteString(u"dspOutro");
  for (int i = 0; i < 3; ++i) row.WriteInt32(0);
  row.WriteString(u"");
  for (int i = 0; i < 3; ++i) row.WriteNull();
  client->SendExecute(prepared.handle,
                      std::vector<std::uint8_t>(row.Written().begin(), row.Written().end()));
  const auto error = dbx_error_of([&] { client->ReadExecuteReply(); });
  EXPECT_EQ(error.second, u"Provider n\u00E3o encontrado: dspOutro");
}

// ---- protocol faults

TEST_F(Protocol, NullResultModeAnswersConsultasWithNull) {
  const std::uint16_t port = start({"--mode", "null-result"});
  ASSERT_NE(port, 0);
  auto client = connected(port);
  const std::int32_t handle = client->Prepare(kMethodType, kConsultas).handle;
  client->SendExecute(handle, consultas_row(kQuery));
  const ExecuteReply reply = client->ReadExecuteReply();
  EXPECT_EQ(text(reply.row), "\x37SELECT * FROM GR_VERSAO\xC0");
  EXPECT_TRUE(reply_variant(*client, handle, reply, 1).is_null());
}

TEST_F(Protocol, ErrorModeAnswersTheCallWithAnErrorObject) {
  const std::uint16_t port = start({"--mode", "error-call"});
  ASSERT_NE(port, 0);
  auto client = connected(port);
  client->SendUnpreparedExecute(u"Dbx.MetaData", u"GetDatabase");
  EXPECT_EQ(client->ReadExecuteReply().columns.size(), 11u);
  const std::int32_t handle = client->Prepare(kMethodType, kConsultas).handle;
  client->Recorder().TakeReceived();
  client->SendExecute(handle, consultas_row(kQuery));
  const auto [code, message] = dbx_error_of([&] { client->ReadExecuteReply(); });
  EXPECT_EQ(message, u"Falha simulada no servidor de testes");
  EXPECT_EQ(client->Recorder().TakeReceived(),
            "{\"error\":{\"name\":\"EFalhaSimulada\",\"code\":0,"
            "\"message\":\"Falha simulada no servidor de testes\"}}");
}

TEST_F(Protocol, HangModeNeverAnswersTheCall) {
  const std::uint16_t port = start({"--mode", "hang-call"});
  ASSERT_NE(port, 0);
  auto client = connected(port);
  client->SendUnpreparedExecute(u"Dbx.MetaData", u"GetDatabase");
  EXPECT_EQ(client->ReadExecuteReply().columns.size(), 11u);
  const std::int32_t handle = client->Prepare(kMethodType, kConsultas).handle;
  client->Recorder().TakeReceived();
  client->SendExecute(handle, consultas_row(kQuery));
  // Nothing comes within the bound; tripping the channel's switch ends the wait.
  const auto abort = client->Channel().AbortHandle();
  std::thread trip([abort] {
    std::this_thread::sleep_for(500ms);
    abort->Trip();
  });
  const auto [code, message] = dbx_error_of([&] { client->ReadExecuteReply(); });
  trip.join();
  EXPECT_EQ(code, 1);
  EXPECT_EQ(message, u"Read error");
  EXPECT_EQ(client->Recorder().TakeReceived(), "");
}

TEST_F(Protocol, CutModeClosesTheConnectionHalfwayThroughTheReply) {
  const std::uint16_t port = start({"--mode", "cut-reply"});
  ASSERT_NE(port, 0);
  auto client = connected(port);
  const std::int32_t handle = client->Prepare(kMethodType, kConsultas).handle;
  client->Recorder().TakeReceived();
  client->SendExecute(handle, consultas_row(kQuery));
  const auto [code, message] = dbx_error_of([&] { client->ReadExecuteReply(); });
  EXPECT_EQ(code, 1);
  const std::string part = client->Recorder().TakeReceived();
  EXPECT_TRUE(part.starts_with("{\"result\":[{\"handle\":[")) << part;
  EXPECT_GT(part.size(), 100u);
}

TEST_F(Protocol, SlowModeAnswersTheCallLate) {
  const std::uint16_t port = start({"--slow", "400"});
  ASSERT_NE(port, 0);
  auto client = connected(port);
  const std::int32_t handle = client->Prepare(kMethodType, kConsultas).handle;
  const auto sent = std::chrono::steady_clock::now();
  client->SendExecute(handle, consultas_row(kQuery));
  const ExecuteReply reply = client->ReadExecuteReply();
  // The server's clock may round its wait: a wide margin below the delay.
  EXPECT_GE(std::chrono::steady_clock::now() - sent, 250ms);
  expect_versao_table(reply_variant(*client, handle, reply, 1), 3);
}

}  // namespace
}  // namespace wardenix::trial
