#pragma once
// A client connection to a scripted server that has answered the connect
// message, for the tests of commands: the script sees the requests after
// connect, and holds the connection until the client closes it.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "datasnap/client_connection.h"
#include "dbx/command.h"
#include "tests/datasnap/scripted_server.h"

namespace wardenix::test {

// Reads until the client closes the connection.
inline void Hold(ServerSide& side) {
  std::uint8_t buffer[256];
  while (side.Channel().Read(buffer) > 0) {
  }
}

struct ClientFixture : ::testing::Test {
  // Connects, then runs `script` for the requests after connect.
  void start(std::function<void(ServerSide&)> script) {
    server = std::make_unique<ScriptedServer>([script](ServerSide& side) {
      side.ReadRequest();
      side.Send(ConnectReply(1));
      script(side);
      Hold(side);
    });
    connection = std::make_unique<TDBXClientConnection>(
        TDBXProperties{{u"HostName", u"127.0.0.1"},
                       {u"Port", to_ustring(server->Port())},
                       {u"DriverName", u"Datasnap"}});
    connection->SetReplyLimit(reply_limit);
    connection->Open();
  }

  // A server-method command with that text, not prepared yet.
  std::unique_ptr<TDBXCommand> method(UStringView text) {
    auto command = connection->CreateCommand();
    command->SetCommandType(kServerMethodCommandType);
    command->SetText(text);
    return command;
  }

  void finish() {
    connection->Close();
    server->Finish();
    EXPECT_EQ(server->ScriptError(), "");
  }

  std::uint64_t reply_limit = kReplyLimit;
  std::unique_ptr<ScriptedServer> server;
  std::unique_ptr<TDBXClientConnection> connection;
};

}  // namespace wardenix::test
