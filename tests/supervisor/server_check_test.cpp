// The server check and its connection watchdog, in virtual time, against a
// stand-in server whose process and connections the test controls.
#include <gtest/gtest.h>

#include <ostream>

#include "form_fixture.h"

namespace wardenix::testing {
namespace {

using namespace std::chrono_literals;
using Events = std::vector<std::pair<long long, std::string>>;
using Mode = StandInServer::Mode;

constexpr long long T = 100000;  // the first server check, with Firebird found at 60 s
const std::string kLaunch = "launch C:\\KESTRANE\\REZ7\\DAZEVAVIZ.EXE";
const std::string kConnect = "connect localhost:3063";
const std::string kQuery = "query SELECT * FROM GR_VERSAO";

struct ServerCheck : FormFixture {
  void SetUp() override {
    ops.set_service(u"FirebirdServerDefaultInstance", 4);
    start();
  }
  void run_until(long long ms) { loop.run_until(Millis(ms)); }
  void server_is(bool running, Mode mode, Mode after_launch = Mode::Accept) {
    std::lock_guard lock(server.mutex);
    server.running = running;
    server.mode = mode;
    server.launched_mode = after_launch;
  }
};

TEST_F(ServerCheck, HealthyServerIsConnectedThenDisconnectedByTheWatchdog) {
  server_is(true, Mode::Accept);
  run_until(T + 39999);
  EXPECT_EQ(server.recorded(),
            (Events{{T + 2000, kConnect}, {T + 2000, kQuery}, {T + 24000, "disconnect"}}));
  EXPECT_FALSE(form->CnxServer.Connected());
  EXPECT_EQ(form->TThread_Conexao, nullptr);  // cleared at the end of its run
  run_until(T + 79999);
  EXPECT_EQ(server.recorded().size(), 6u);  // the rhythm repeats, nothing else happens
}

TEST_F(ServerCheck, MissingProcessIsStarted22sAfterTheCheckBegan) {
  server_is(false, Mode::Accept);
  run_until(T + 64000);
  EXPECT_EQ(server.recorded(), (Events{{T + 2000, kConnect},
                                       {T + 22000, kLaunch},
                                       {T + 42000, kConnect},
                                       {T + 42000, kQuery},
                                       {T + 64000, "disconnect"}}));
}

TEST_F(ServerCheck, RunningButNotListeningIsKilledByOneCheckAndStartedByTheNext) {
  server_is(true, Mode::Refuse);
  run_until(T + 62000);
  EXPECT_EQ(server.recorded(), (Events{{T + 2000, kConnect},
                                       {T + 22000, "kill"},
                                       {T + 42000, kConnect},
                                       {T + 62000, kLaunch}}));
}

TEST_F(ServerCheck, AHangingConnectEndsWhenTheWatchdogKillsTheServer) {
  server_is(true, Mode::Hang);
  run_until(T + 22000);
  EXPECT_EQ(server.recorded(), (Events{{T + 2000, kConnect}, {T + 22000, "kill"}, {T + 22000, "hang ended"}}));
  EXPECT_EQ(form->CnxServer.State(), ConnectionState::Closed);
  run_until(T + 62000);
  EXPECT_EQ(server.recorded().back(), (std::pair<long long, std::string>{T + 62000, kLaunch}));
}

TEST_F(ServerCheck, AHangingConnectToAServerOutOfReachEndsAfterTheKillIsRefused) {
  server_is(true, Mode::Hang);
  server.unkillable = true;
  run_until(T + 62000);
  // The watchdog's kill fails; it ends the connect itself, and the checks go
  // on every 40 s instead of waiting on that connect for good.
  EXPECT_EQ(server.recorded(), (Events{{T + 2000, kConnect},
                                       {T + 22000, "kill"},
                                       {T + 22000, "hang ended"},
                                       {T + 42000, kConnect},
                                       {T + 62000, "kill"},
                                       {T + 62000, "hang ended"}}));
}

TEST_F(ServerCheck, ConnectsWhereTheWindowSaysAfterTheShowStep) {
  server_is(true, Mode::Accept);
  form->edServidor.SetText(u"server2");
  form->edPorta.SetText(u"4000");
  run_until(T + 2000);
  EXPECT_EQ(server.recorded().front().second, "connect server2:4000");
  EXPECT_EQ(form->CnxServer.Params.Lines(),
            (std::vector<UString>{u"Port=4000", u"RIDaduvorod=58013742QHZVMTRB", u"HostName=server2"}));
}

TEST_F(ServerCheck, AnEmptyPortFallsBackToTheDriverDefault) {
  server_is(true, Mode::Accept);
  form->edPorta.SetText(u"");
  run_until(T + 2000);
  EXPECT_EQ(server.recorded().front().second, "connect localhost:211");
}

TEST_F(ServerCheck, TheLogIsClearedOnlyWhenItHoldsMoreThan3000Lines) {
  run_until(T - 1);
  form->mmLog.Clear();
  for (int i = 0; i < 3000; ++i) form->Log(u": filler");
  run_until(T);
  EXPECT_EQ(form->mmLog.Lines().size(), 3001u);
  EXPECT_EQ(log().back(), "00:01:42: Verificando Conexão");
  run_until(T + 40000);
  EXPECT_EQ(log(), (std::vector<std::string>{"00:02:22: Verificando Conexão"}));
}

TEST_F(ServerCheck, QuitWhileWatchdogsSleepLeavesTheServerAlone) {
  server_is(false, Mode::Accept);
  run_until(T + 10000);  // a connection watchdog sleeps until T + 22 s
  form->btnFinalizarClick();
  EXPECT_TRUE(clock.wait_for_threads(kNoDeadline));
  EXPECT_EQ(clock.now(), Millis(T + 10000));  // woken at once
  EXPECT_EQ(server.recorded(), (Events{{T + 2000, kConnect}}));
}

TEST_F(ServerCheck, AWatchdogThatKillsEnablesTheServerTimerAgain) {
  server_is(true, Mode::Refuse);
  run_until(T + 23000);  // killed at T + 22 s; the timer is enabled 2 s later
  form->tmServidor.set_enabled(false);
  run_until(T + 24000);
  EXPECT_TRUE(form->tmServidor.enabled());
  // Enabled afresh at T + 24 s, the timer's next tick comes 40 s after that.
  run_until(T + 66000);
  EXPECT_EQ(server.recorded(),
            (Events{{T + 2000, kConnect}, {T + 22000, "kill"}, {T + 66000, kConnect}}));
}

// Ctrl+C or a termination request, from a thread of its own, while the main
// thread is blocked: it takes effect at once, and the server is left alone.
struct QuitCase {
  const char* name;
  Mode mode;
  StandInServer::Call call;
  long long at;     // when the request comes
  Events expected;  // everything the server sees
};

std::ostream& operator<<(std::ostream& out, const QuitCase& c) { return out << c.name; }

struct QuitWhileBlocked : ServerCheck, ::testing::WithParamInterface<QuitCase> {};

TEST_P(QuitWhileBlocked, EndsTheWaitAndNoWatchdogActsAfterwards) {
  const QuitCase& c = GetParam();
  server_is(true, c.mode);
  server.call = c.call;
  clock.start_thread([this, at = c.at] {
    clock.sleep_for(Millis(at) - clock.now());
    form->RequestQuit();
  });
  run_until(T + 100000);
  EXPECT_EQ(clock.now(), Millis(c.at));  // the loop ended at once
  EXPECT_EQ(form->State(), WindowState::Ended);
  EXPECT_TRUE(clock.wait_for_threads(kNoDeadline));
  clock.sleep_for(100000ms);  // nothing acts any more, however long one waits
  EXPECT_EQ(server.recorded(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, QuitWhileBlocked,
    ::testing::Values(
        QuitCase{"InTheChecksSleep", Mode::Accept, StandInServer::Call::Answer, T + 1000, {}},
        QuitCase{"InAHangingConnect", Mode::Hang, StandInServer::Call::Answer, T + 10000,
                 {{T + 2000, kConnect}, {T + 10000, "hang ended"}}},
        QuitCase{"InAHangingCall", Mode::Accept, StandInServer::Call::Hang, T + 10000,
                 {{T + 2000, kConnect}, {T + 2000, kQuery}, {T + 10000, "call broken"}}}),
    [](const ::testing::TestParamInfo<QuitCase>& request) { return std::string(request.param.name); });

}  // namespace
}  // namespace wardenix::testing
