// The trial server as a program: its fault modes seen from a client.
#include <gtest/gtest.h>

#include "sysops/process_check.h"
#include "tests/trialserver/harness/private_processes.h"
#include "tests/trialserver/harness/trial_harness.h"
#include "trialserver/socket.h"

namespace wardenix::trial {
namespace {

using namespace std::chrono_literals;
using testing::TrialProcess;
namespace fs = std::filesystem;

constexpr std::byte kHello[] = {std::byte{'h'}, std::byte{'i'}};

class TrialServer : public ::testing::Test {
 protected:
  // Starts a trial server on a free port; returns the port, 0 on failure.
  std::uint16_t start(std::vector<std::string> arguments) {
    const fs::path port_file = dir_.path() / ("port" + std::to_string(servers_.size()));
    for (const char* extra : {"--port", "0", "--exit-after", "120", "--port-file"}) {
      arguments.push_back(extra);
    }
    arguments.push_back(port_file.string());
    servers_.push_back(std::make_unique<TrialProcess>(testing::trial_server_path(), arguments));
    return testing::read_port_file(port_file, 20s);
  }

  const fs::path& dir() const { return dir_.path(); }

 private:
  testing::TempDir dir_;
  std::vector<std::unique_ptr<TrialProcess>> servers_;
};

// The peer closed (or reset) the connection.
bool closed_by_peer(Connection& connection) {
  std::byte buffer[16];
  return connection.wait_readable(10s) && connection.receive(buffer) <= 0;
}

TEST_F(TrialServer, AcceptingAndHangingServersKeepConnectionsOpenWithoutAnswering) {
  for (const char* mode : {"accept", "hang"}) {
    SCOPED_TRACE(mode);
    const std::uint16_t port = start({"--mode", mode});
    ASSERT_NE(port, 0);
    auto first = connect_loopback(port);
    auto second = connect_loopback(port);
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(first->send_all(kHello));
    EXPECT_FALSE(first->wait_readable(300ms));
    EXPECT_FALSE(second->wait_readable(10ms));
  }
}

TEST_F(TrialServer, RefusingServerClosesEachConnectionAtOnce) {
  const std::uint16_t port = start({"--mode", "refuse"});
  ASSERT_NE(port, 0);
  for (int i = 0; i < 2; ++i) {
    auto connection = connect_loopback(port);
    ASSERT_TRUE(connection);
    EXPECT_TRUE(closed_by_peer(*connection));
  }
}

TEST_F(TrialServer, EndsByItselfWhenItsTimeIsUp) {
  TrialProcess server(testing::trial_server_path(), {"--port", "0", "--exit-after", "1"});
  ASSERT_TRUE(server.started());
  EXPECT_EQ(server.wait_for_exit(30s), 0);
}

TEST_F(TrialServer, FailsWhenItsPortIsTaken) {
  const std::uint16_t port = start({});
  ASSERT_NE(port, 0);
  TrialProcess second(testing::trial_server_path(),
                      {"--port", std::to_string(port), "--exit-after", "120"});
  EXPECT_EQ(second.wait_for_exit(30s), 1);
}

TEST_F(TrialServer, ReportsCommandLineMistakesAndHelp) {
  TrialProcess wrong(testing::trial_server_path(), {"--mode", "sleepy"});
  EXPECT_EQ(wrong.wait_for_exit(30s), 2);
  TrialProcess help(testing::trial_server_path(), {"--help"});
  EXPECT_EQ(help.wait_for_exit(30s), 0);
  TrialProcess no_child(testing::trial_server_path(),
                        {"--port", "0", "--exit-after", "120", "--spawn-child", "--child-image",
                         (dir() / "MISSING.EXE").string()});
  EXPECT_EQ(no_child.wait_for_exit(30s), 2);
}

TEST_F(TrialServer, StartsAChildOfTheGivenImage) {
  WARDENIX_REQUIRE_PRIVATE_PROCESSES();  // finds and ends the child by its name
  const fs::path child = testing::copy_trial_server(dir(), "TRIALCHILD.EXE");
  ASSERT_NE(start({"--spawn-child", "--child-image", child.string()}), 0);
  EXPECT_TRUE(testing::wait_until([] { return VerificaProcesso(u"TRIALCHILD.EXE") != 0; }, 10s));
  EXPECT_TRUE(testing::end_processes_named(u"TRIALCHILD.EXE", 30s));
}

TEST_F(TrialServer, StartedWithoutArgumentsTakesThemFromTheFileBesideIt) {
  const fs::path program = testing::copy_trial_server(dir(), "DAZEVAVIZ.EXE");
  const fs::path port_file = dir() / "port-from-file";
  testing::write_arguments_file(dir(), {"--port", "0", "--exit-after", "120", "--port-file",
                                        port_file.string()});
  const TrialProcess server(program, {});
  ASSERT_TRUE(server.started());
  const std::uint16_t port = testing::read_port_file(port_file, 20s);
  ASSERT_NE(port, 0);
  EXPECT_TRUE(connect_loopback(port));
}

}  // namespace
}  // namespace wardenix::trial
