// The server side of TCP: the waits that another thread must be able to end,
// as the tests' own servers end them when a test is over.
#include <gtest/gtest.h>

#include <future>

#include "trialserver/connection_channel.h"
#include "trialserver/socket.h"

namespace wardenix::trial {
namespace {

// A loopback listener with one client connected and accepted.
struct AcceptedPair {
  AcceptedPair() {
    if (!listener.open(0, Reach::Loopback)) return;
    client = connect_loopback(listener.port());
    if (client) server = listener.accept();
  }
  Listener listener;
  std::unique_ptr<Connection> client;
  std::unique_ptr<Connection> server;
};

TEST(ServerSocket, StopEndsAWaitingAcceptAndEveryLaterOne) {
  Listener listener;
  ASSERT_TRUE(listener.open(0, Reach::Loopback));
  auto waiting = std::async(std::launch::async, [&] { return listener.accept(); });
  listener.stop();
  EXPECT_EQ(waiting.get(), nullptr);
  // A client that comes after the stop is not taken either.
  const auto late = connect_loopback(listener.port());
  EXPECT_EQ(listener.accept(), nullptr);
  EXPECT_EQ(listener.accept_within(Millis(0)), nullptr);
}

TEST(ServerSocket, AcceptedConnectionCarriesBytesBothWays) {
  AcceptedPair pair;
  ASSERT_TRUE(pair.client && pair.server);
  const std::byte hello[] = {std::byte{'h'}, std::byte{'i'}};
  ASSERT_TRUE(pair.client->send_all(hello));
  std::byte buffer[8];
  ASSERT_TRUE(pair.server->wait_readable(Millis(60000)));
  EXPECT_EQ(pair.server->receive(buffer), 2);
  ASSERT_TRUE(pair.server->send_all(std::span(buffer, 2)));
  ASSERT_TRUE(pair.client->wait_readable(Millis(60000)));
  EXPECT_EQ(pair.client->receive(buffer), 2);
}

TEST(ServerSocket, ShutDownEndsAWaitingReceiveWhileThePeerStaysConnected) {
  AcceptedPair pair;
  ASSERT_TRUE(pair.client && pair.server);
  auto waiting = std::async(std::launch::async, [&] {
    std::byte buffer[8];
    return pair.server->receive(buffer);
  });
  pair.server->shut_down();
  EXPECT_LE(waiting.get(), 0);
}

TEST(ServerSocket, TrippingTheChannelsSwitchEndsItsWaitingRead) {
  AcceptedPair pair;
  ASSERT_TRUE(pair.client && pair.server);
  ConnectionChannel channel(*pair.server);
  // The switch the channel was given replaces its own one.
  auto abort = std::make_shared<AbortSwitch>();
  channel.SetAbortHandle(abort);
  auto waiting = std::async(std::launch::async, [&] {
    std::uint8_t buffer[8];
    return channel.Read(buffer);
  });
  abort->Trip();
  EXPECT_LE(waiting.get(), 0);
}

}  // namespace
}  // namespace wardenix::trial
