// The driver's connection against a scripted server on loopback: the connect
// message byte for byte, its reply, error objects, the disconnect that awaits
// nothing, the metadata command, and aborts from another thread, at every
// moment of the connection component's life.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <ostream>
#include <thread>

#include "datasnap/client_connection.h"
#include "datasnap/datasnap_driver.h"
#include "datasnap/sql_connection.h"
#include "dbx/command.h"
#include "runtime/errors.h"
#include "tests/datasnap/scripted_server.h"

namespace wardenix {
namespace {

using test::ConnectReply;
using test::ErrorReply;
using test::Request;
using test::RowBuilder;
using test::ScriptedServer;
using test::ServerSide;

// The list the connection component builds for this program, in its order.
TDBXProperties program_properties(std::uint16_t port) {
  return TDBXProperties{{u"Port", to_ustring(port)},
                        {u"RIDaduvorod", u"58013742QHZVMTRB"},
                        {u"HostName", u"127.0.0.1"},
                        {u"DriverName", u"Datasnap"},
                        {u"VendorLib", u""},
                        {u"LibraryName", u""},
                        {u"GetDriverFunc", u""},
                        {u"DriverUnit", u"DbxDatasnap"},
                        {u"CommunicationProtocol", u"tcp/ip"}};
}

std::string connect_message(std::uint16_t port) {
  return R"({"method":"connect","params":[{"Port":")" + std::to_string(port) +
         R"(","RIDaduvorod":"58013742QHZVMTRB","HostName":"127.0.0.1","DriverName":"Datasnap",)"
         R"("VendorLib":"","LibraryName":"","GetDriverFunc":"","DriverUnit":"DbxDatasnap",)"
         R"("CommunicationProtocol":"tcp/ip"}]})";
}

// Reads until the client closes the connection.
void hold(ServerSide& side) {
  std::uint8_t buffer[256];
  while (side.Channel().Read(buffer) > 0) {
  }
}

TEST(ClientConnection, SendsEveryPropertyInOrderAfterTheHandshake) {
  ScriptedServer server([](ServerSide& side) {
    side.ReadRequest();
    side.Send(ConnectReply(5, "Trial"));
    hold(side);
  });
  TDBXClientConnection connection(program_properties(server.Port()));
  connection.Open();
  EXPECT_EQ(connection.ConnectionHandle(), 5);
  EXPECT_EQ(connection.GetProductName(), u"Trial");
  EXPECT_EQ(connection.ProtocolVersion(), 0);
  EXPECT_EQ(connection.GetVendorProperty(u"ServerVersion"), u"");  // never asked for
  connection.Close();
  server.Finish();
  EXPECT_EQ(server.Handshake(), std::string(5, '\x05'));
  const std::string received = server.Received();
  ASSERT_EQ(received.rfind(connect_message(server.Port()), 0), 0u) << received;
  EXPECT_EQ(received.substr(connect_message(server.Port()).size()),
            R"({"method":"disconnect","params":[5]})");
}

TEST(ClientConnection, EscapesPropertyTexts) {
  ScriptedServer server([](ServerSide& side) {
    side.ReadRequest();
    side.Send(ConnectReply());
    hold(side);
  });
  TDBXProperties properties{{u"HostName", u"127.0.0.1"},
                            {u"Port", to_ustring(server.Port())},
                            {u"DriverName", u"Datasnap"},
                            {u"Senha", u"a\"b\\c\u00e9\u20ac"}};
  TDBXClientConnection connection(properties);
  connection.Open();
  connection.Close();
  server.Finish();
  EXPECT_NE(server.Received().find("\"Senha\":\"a\\\"b\\\\c\xE9\\u20AC\"}]}"), std::string::npos)
      << server.Received();
}

TEST(ClientConnection, ReadsTheProtocolVersionAndSkipsWhatFollows) {
  ScriptedServer server([](ServerSide& side) {
    side.ReadRequest();
    side.Send(R"({"result":[3,"Trial",2,{"extra":[1,2]},"more"]})");
    const Request vendor = side.ReadRequest();
    if (vendor.method == u"vendor_property" && vendor.params[0].text == u"ServerVersion") {
      side.Send(R"({"result":["7.5"]})");
    }
    hold(side);
  });
  TDBXClientConnection connection(program_properties(server.Port()));
  connection.Open();
  EXPECT_EQ(connection.ProtocolVersion(), 2);
  EXPECT_EQ(connection.GetVendorProperty(u"ServerVersion"), u"7.5");
  // Asked once: the second answer comes from the cache.
  EXPECT_EQ(connection.GetVendorProperty(u"ServerVersion"), u"7.5");
  connection.Close();
  server.Finish();
  EXPECT_EQ(server.ScriptError(), "");
  EXPECT_NE(server.Received().find(R"({"method":"vendor_property","params":["ServerVersion"]})"),
            std::string::npos);
  EXPECT_EQ(server.Received().find("vendor_property", server.Received().find("vendor_property") + 1),
            std::string::npos);
}

TEST(ClientConnection, AServerBeforeProtocolVersion2IsNeverAskedForVendorProperties) {
  ScriptedServer server([](ServerSide& side) {
    side.ReadRequest();
    side.Send(R"({"result":[3,"Trial",1]})");
    hold(side);
  });
  TDBXClientConnection connection(program_properties(server.Port()));
  connection.Open();
  EXPECT_EQ(connection.GetVendorProperty(u"ServerVersion"), u"");
  connection.Close();
  server.Finish();
  EXPECT_EQ(server.Received().find("vendor_property"), std::string::npos);
}

TEST(ClientConnection, TransactionsBeginAndEndWithTheServersHandle) {
  std::vector<Request> requests;
  ScriptedServer server([&](ServerSide& side) {
    side.ReadRequest();
    side.Send(ConnectReply(3));
    requests.push_back(side.ReadRequest());
    side.Send(R"({"result":[41]})");
    requests.push_back(side.ReadRequest());
    side.Send(R"({"result":[]})");
    requests.push_back(side.ReadRequest());
    side.Send(R"({"result":[42,"ignored"]})");
    requests.push_back(side.ReadRequest());
    side.Send(R"({"result":[null]})");
    hold(side);
  });
  TDBXClientConnection connection(program_properties(server.Port()));
  connection.Open();
  const auto first = connection.BeginTransaction(2);
  EXPECT_EQ(first.handle, 41);
  EXPECT_EQ(first.isolation_level, 2);
  connection.Commit(first);
  const auto second = connection.BeginTransaction(8);
  EXPECT_EQ(second.handle, 42);
  connection.Rollback(second);
  connection.Close();
  server.Finish();
  EXPECT_EQ(server.ScriptError(), "");
  EXPECT_NE(server.Received().find(R"({"method":"txbegin","params":[2]})"
                                   R"({"method":"txend","params":[true,41]})"
                                   R"({"method":"txbegin","params":[8]})"
                                   R"({"method":"txend","params":[false,42]})"),
            std::string::npos)
      << server.Received();
}

TEST(ClientConnection, TheServerMethodsAreTheMethodAliasColumnOfTheServersList) {
  ScriptedServer server([&](ServerSide& side) {
    side.ReadRequest();
    side.Send(ConnectReply(3));
    side.ReadRequest();
    RowBuilder rows;
    for (const char16_t* alias : {u"TdtmPrincipal._Consultas", u"TdtmPrincipal.sqlAuxAfterClose",
                                  u"DSAdmin.GetServerMethods"}) {
      rows->WriteString(u"x");
      rows->WriteString(alias);
    }
    side.Send(R"({"result":[{"handle":[5]},{"table":[{"fields":[5,false,2,1,true]},)"
              R"({"columns":[2,["MethodName",26,0,0,0,0,0],["MethodAlias",26,0,0,0,0,0]]}]}],)"
              R"({"data":[-)" + ServerSide::Data(rows.Bytes()) + "]}}");
    hold(side);
  });
  TDBXClientConnection connection(program_properties(server.Port()));
  connection.Open();
  EXPECT_EQ(connection.GetCommandTypes(), std::vector<UString>{u"DataSnap.ServerMethod"});
  EXPECT_EQ(connection.GetCommands(u"DataSnap.ServerMethod"),
            (std::vector<UString>{u"TdtmPrincipal._Consultas", u"TdtmPrincipal.sqlAuxAfterClose",
                                  u"DSAdmin.GetServerMethods"}));
  EXPECT_TRUE(connection.GetCommands(u"Dbx.SQL").empty());
  connection.Close();
  server.Finish();
  EXPECT_EQ(server.ScriptError(), "");
  EXPECT_NE(server.Received().find(
                R"({"method":"execute","params":[{"fields":[-1,false,"DataSnap.ServerMethod",)"
                R"("DSAdmin.GetServerMethods"]}]})"),
            std::string::npos)
      << server.Received();
}

TEST(ClientConnection, ErrorObjectOfTheServerRaisesItsCodeAndMessage) {
  struct Case {
    std::string reply;
    std::int32_t code;
    std::u16string message;
  };
  const Case cases[] = {
      {ErrorReply(10, "abc"), 10, u"abc"},
      {R"({"error":{"name":"EAccessDenied","message":"RIDaduvorod recusado","code":21}})", 21,
       u"RIDaduvorod recusado"},
      {R"({"error":{}})", 2, u"unknown error"},
  };
  for (const Case& c : cases) {
    ScriptedServer server([&](ServerSide& side) {
      side.ReadRequest();
      side.Send(c.reply);
      hold(side);
    });
    TDBXClientConnection connection(program_properties(server.Port()));
    std::vector<std::int32_t> seen;
    connection.Context().SetOnError([&](const TDBXError& e) { seen.push_back(e.ErrorCode()); });
    try {
      connection.Open();
      ADD_FAILURE() << c.reply;
    } catch (const TDBXError& e) {
      EXPECT_EQ(e.ErrorCode(), c.code);
      EXPECT_EQ(e.Message(), c.message);
    }
    EXPECT_EQ(seen, std::vector<std::int32_t>{c.code});
    EXPECT_FALSE(connection.IsOpen());
    server.Finish();
    // A connection that never got a handle says no goodbye.
    EXPECT_EQ(server.Received().find("disconnect"), std::string::npos);
  }
}

TEST(ClientConnection, ServerClosingBeforeTheReplyIsAReadError) {
  ScriptedServer server([](ServerSide& side) { side.ReadRequest(); });
  TDBXClientConnection connection(program_properties(server.Port()));
  try {
    connection.Open();
    FAIL();
  } catch (const TDBXError& e) {
    EXPECT_EQ(e.ErrorCode(), 1);
    EXPECT_EQ(e.Message(), u"Read error");
  }
}

TEST(ClientConnection, ABufferSizeThatIsNoIntegerFailsTheOpen) {
  ScriptedServer server([](ServerSide& side) { hold(side); });
  auto properties = program_properties(server.Port());
  properties.SetValue(u"BufferKBSize", u"big");
  TDBXClientConnection connection(properties);
  EXPECT_THROW(connection.Open(), EConvertError);
  EXPECT_FALSE(connection.IsOpen());
}

// The metadata command runs as an unprepared command and reads one row.
void answer_metadata(ServerSide& side, Request& execute, std::vector<Request>& after) {
  execute = side.ReadRequest();
  RowBuilder row;
  row->WriteString(u"\"");
  row->WriteString(u"");
  row->WriteInt32(0);
  row->WriteBoolean(true);
  row->WriteBoolean(false);
  row->WriteBoolean(true);
  side.Send(R"({"result":[{"handle":[9]},{"table":[{"fields":[9,false,4,1,true]},{"columns":[6,)"
            R"(["QuoteChar",26,0,0,0,2,0],["ProcedureQuoteChar",26,0,0,0,2,0],)"
            R"(["MaxCommands",6,0,0,0,4,0],["SupportsTransactions",4,0,0,0,2,0],)"
            R"(["SupportsNestedTransactions",4,0,0,0,2,0],["SupportsRowSetSize",4,0,0,0,2,0]]}]}],)"
            R"({"data":[-)" + std::to_string(row.Bytes().size()) + "," + row.Bytes() + "]}}");
  after.push_back(side.ReadRequest());
  after.push_back(side.ReadRequest());
}

TEST(ClientConnection, ConnectionComponentReadsTheServersMetadata) {
  Request execute;
  std::vector<Request> after;
  ScriptedServer server([&](ServerSide& side) {
    side.ReadRequest();
    side.Send(ConnectReply(4));
    answer_metadata(side, execute, after);
    hold(side);
  });
  TSQLConnection connection(default_driver_registry());
  connection.DriverName = u"Datasnap";
  connection.Params = {u"Port=" + to_ustring(server.Port()), u"RIDaduvorod=58013742QHZVMTRB",
                       u"HostName=127.0.0.1"};
  connection.SetConnected(true);
  ASSERT_TRUE(connection.Connected());
  EXPECT_EQ(connection.MetaData().QuoteChar, u"\"");
  EXPECT_TRUE(connection.MetaData().SupportsTransactions);
  EXPECT_FALSE(connection.MetaData().SupportsNestedTransactions);
  EXPECT_TRUE(connection.MetaData().SupportsRowSetSize);
  EXPECT_TRUE(connection.DBXConnection()->MetaData().SupportsRowSetSize);
  connection.SetConnected(false);
  server.Finish();
  ASSERT_EQ(server.ScriptError(), "");
  EXPECT_EQ(server.Received().rfind(connect_message(server.Port()), 0), 0u);

  const auto& fields = execute.params[0][u"fields"];
  EXPECT_EQ(execute.method, u"execute");
  EXPECT_EQ(fields[0].number, -1);
  EXPECT_FALSE(fields[1].boolean);
  EXPECT_EQ(fields[2].text, u"Dbx.MetaData");
  EXPECT_EQ(fields[3].text, u"GetDatabase");
  // The table is closed with the command: reader_close leaves with command_close.
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after[0].method, u"reader_close");
  EXPECT_EQ(after[0].params[0].number, 4);
  EXPECT_EQ(after[1].method, u"command_close");
  EXPECT_EQ(after[1].params[0].number, 9);
  EXPECT_NE(server.Received().find(R"({"method":"disconnect","params":[4]})"), std::string::npos);
}

TEST(ClientConnection, AbortFromAnotherThreadEndsABlockedConnectAtOnce) {
  ScriptedServer server([](ServerSide& side) {
    side.ReadRequest();
    hold(side);  // never answers
  });
  auto abort = std::make_shared<AbortSwitch>();
  TDBXClientConnection connection(program_properties(server.Port()));
  auto opening = std::async(std::launch::async, [&] { connection.Open(abort); });
  // Wait until the connect message has arrived, then trip the switch.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (server.Received().find("connect") == std::string::npos &&
         std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  abort->Trip();
  ASSERT_EQ(opening.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  try {
    opening.get();
    FAIL();
  } catch (const TDBXError& e) {
    EXPECT_EQ(e.ErrorCode(), 1);
  }
  EXPECT_FALSE(connection.IsOpen());
}

TEST(ClientConnection, AbortEndsABlockedCallAndLaterCallsFailAtOnce) {
  ScriptedServer server([](ServerSide& side) {
    side.ReadRequest();
    side.Send(ConnectReply(2));
    side.ReadRequest();
    hold(side);  // the prepare is never answered
  });
  auto abort = std::make_shared<AbortSwitch>();
  TDBXClientConnection connection(program_properties(server.Port()));
  connection.Open(abort);
  auto command = connection.CreateCommand();
  command->SetCommandType(kServerMethodCommandType);
  command->SetText(u"TdtmPrincipal._Consultas");
  auto preparing = std::async(std::launch::async, [&] { command->Prepare(); });
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (server.Received().find("prepare") == std::string::npos &&
         std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  abort->Trip();
  ASSERT_EQ(preparing.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_THROW(preparing.get(), TDBXError);
  EXPECT_FALSE(command->IsPrepared());
  // The connection is broken for good: the next call fails without waiting.
  EXPECT_THROW(command->Prepare(), TDBXError);
  command.reset();
  connection.Close();
}

// ---- The connection component aborted by another thread ("a watchdog") at
// each moment of a connection's life. The server answers up to that moment
// and then never again, so only the abort can end what the component's
// thread is blocked in.

enum class Phase {
  BeforeConnect,     // in the before-connect handler
  ConnectReply,      // waiting for the connect message's reply
  MetadataReply,     // waiting for the metadata command's reply
  BeforeCall,        // in the after-connect handler, before its call
  CallReply,         // waiting for the after-connect handler's call
  BeforeDisconnect,  // in the before-disconnect handler
};

struct AbortCase {
  const char* name;
  Phase phase;
  const char* awaited;  // the request after which the server falls silent
};

std::ostream& operator<<(std::ostream& out, const AbortCase& c) { return out << c.name; }

// True when `work` ended before the server gave up waiting, so that a lost
// abort fails the test instead of hanging it.
bool ends(ScriptedServer& server, std::future<void>& work) {
  if (work.wait_for(std::chrono::seconds(60)) == std::future_status::ready) return true;
  server.Abort();
  work.wait();
  return false;
}

// Points the connection component at a scripted server.
void aim(TSQLConnection& connection, std::uint16_t port) {
  connection.DriverName = u"Datasnap";
  connection.Params = {u"Port=" + to_ustring(port), u"HostName=127.0.0.1"};
}

// A server that answers the connect and the metadata command, then nothing.
struct SilentOnceConnected {
  explicit SilentOnceConnected(int handle)
      : server([this, handle](ServerSide& side) {
          side.ReadRequest();
          side.Send(ConnectReply(handle));
          answer_metadata(side, execute, after);
          hold(side);
        }) {}
  Request execute;
  std::vector<Request> after;
  ScriptedServer server;
};

class AbortAtEveryPhase : public ::testing::TestWithParam<AbortCase> {
 protected:
  // The watchdog's abort, from a thread of its own, once the server has
  // received `request`.
  static void abort_after(ScriptedServer& server, TSQLConnection& connection,
                          const std::string& request) {
    std::thread([&] {
      while (server.Received().find(request) == std::string::npos &&
             server.ScriptError().empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      connection.AbortBlockedCall();
    }).join();
  }
};

TEST_P(AbortAtEveryPhase, EndsWhatTheComponentIsBlockedInAndBreaksTheConnection) {
  const AbortCase c = GetParam();
  Request execute;
  std::vector<Request> after;
  ScriptedServer server([&](ServerSide& side) {
    if (c.phase == Phase::ConnectReply) return hold(side);
    side.ReadRequest();
    side.Send(ConnectReply(3));
    if (c.phase == Phase::MetadataReply) return hold(side);
    answer_metadata(side, execute, after);
    hold(side);
  });
  TSQLConnection connection(default_driver_registry());
  aim(connection, server.Port());
  const auto watchdog = [&] { std::thread([&] { connection.AbortBlockedCall(); }).join(); };
  if (c.phase == Phase::BeforeConnect) connection.BeforeConnect = watchdog;
  if (c.phase == Phase::BeforeDisconnect) connection.BeforeDisconnect = watchdog;
  bool second_call_failed = false;
  if (c.phase == Phase::BeforeCall || c.phase == Phase::CallReply) {
    connection.AfterConnect = [&] {
      if (c.phase == Phase::BeforeCall) watchdog();
      auto command = connection.DBXConnection()->CreateCommand();
      command->SetCommandType(kServerMethodCommandType);
      command->SetText(u"TdtmPrincipal._Consultas");
      try {
        command->Prepare();
      } catch (const TDBXError&) {
        // Once aborted, the connection fails every further call at once.
        try {
          command->Prepare();
        } catch (const TDBXError&) {
          second_call_failed = true;
        }
        throw;
      }
    };
  }

  auto work = std::async(std::launch::async, [&] {
    bool connect_failed = false;
    try {
      connection.SetConnected(true);
    } catch (const Exception&) {
      connect_failed = true;
    }
    EXPECT_TRUE(connect_failed || c.phase == Phase::BeforeDisconnect);
    connection.SetConnected(false);
  });
  if (c.awaited[0] != '\0') abort_after(server, connection, c.awaited);
  ASSERT_TRUE(ends(server, work)) << "the abort was lost";
  work.get();
  EXPECT_FALSE(connection.Connected());
  EXPECT_EQ(connection.State(), ConnectionState::Closed);
  if (c.phase == Phase::BeforeCall || c.phase == Phase::CallReply) {
    EXPECT_TRUE(second_call_failed);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Phases, AbortAtEveryPhase,
    ::testing::Values(AbortCase{"BeforeConnect", Phase::BeforeConnect, ""},
                      AbortCase{"ConnectReply", Phase::ConnectReply, "\"method\":\"connect\""},
                      AbortCase{"MetadataReply", Phase::MetadataReply, "GetDatabase"},
                      AbortCase{"BeforeCall", Phase::BeforeCall, ""},
                      AbortCase{"CallReply", Phase::CallReply, "\"method\":\"prepare\""},
                      AbortCase{"BeforeDisconnect", Phase::BeforeDisconnect, ""}),
    [](const ::testing::TestParamInfo<AbortCase>& phase) { return std::string(phase.param.name); });

// A watchdog's disconnect when the component's thread is idle: the next call
// fails at once, yet the disconnect still says goodbye to the server.
TEST(ConnectionAbort, AnAbortWhileIdleBreaksTheNextCallButNotTheDisconnect) {
  SilentOnceConnected first(6);
  TSQLConnection connection(default_driver_registry());
  aim(connection, first.server.Port());
  connection.SetConnected(true);
  std::thread([&] { connection.AbortBlockedCall(); }).join();
  auto work = std::async(std::launch::async, [&] {
    TSQLConnection::CallScope call(connection);
    auto command = connection.DBXConnection()->CreateCommand();
    command->SetCommandType(kServerMethodCommandType);
    command->SetText(u"TdtmPrincipal._Consultas");
    EXPECT_THROW(command->Prepare(), TDBXError);
  });
  ASSERT_TRUE(ends(first.server, work)) << "the abort was lost";
  work.get();

  SilentOnceConnected second(7);
  TSQLConnection idle(default_driver_registry());
  aim(idle, second.server.Port());
  idle.SetConnected(true);
  std::thread([&] { idle.AbortBlockedCall(); }).join();
  idle.SetConnected(false);
  second.server.Finish();
  EXPECT_NE(second.server.Received().find(R"({"method":"disconnect","params":[7]})"),
            std::string::npos);
}

TEST(Properties, BufferSizeFromBufferKBSize) {
  const std::pair<UStringView, std::int32_t> cases[] = {
      {u"", 32768}, {u"0", 32768}, {u"-3", 32768}, {u"1", 1024}, {u"64", 65536},
      {u"99999999", 1024 * 1024 * 1024},
  };
  for (const auto& [text, bytes] : cases) {
    TDBXProperties p{{u"BufferKBSize", UString(text)}};
    EXPECT_EQ(MessageBufferSize(p), bytes) << to_utf8(text);
  }
  EXPECT_EQ(MessageBufferSize(TDBXProperties{}), 32768);
  EXPECT_THROW(MessageBufferSize(TDBXProperties{{u"BufferKBSize", u"big"}}), EConvertError);
}

}  // namespace
}  // namespace wardenix
