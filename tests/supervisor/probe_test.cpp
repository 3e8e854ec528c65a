// The probe and the responsiveness watchdog, with the recovery paths that the
// two watchdogs take together, in virtual time.
#include <gtest/gtest.h>

#include <algorithm>

#include "form_fixture.h"

namespace wardenix::testing {
namespace {

using namespace std::chrono_literals;
using Events = std::vector<std::pair<long long, std::string>>;
using Mode = StandInServer::Mode;
using Call = StandInServer::Call;

// Server checks at 100 s, 140 s, 180 s, ... once Firebird is found at 60 s.
constexpr long long T0 = 100000, T1 = 140000, T2 = 180000;
const std::string kLaunch = "launch C:\\KESTRANE\\REZ7\\DAZEVAVIZ.EXE";
const std::string kConnect = "connect localhost:3063";
const std::string kQuery = "query SELECT * FROM GR_VERSAO";

struct Probe : FormFixture {
  void SetUp() override {
    ops.set_service(u"FirebirdServerDefaultInstance", 4);
    server_is(true, Mode::Accept, Call::Answer);
    start();
  }
  void run_until(long long ms) { loop.run_until(Millis(ms)); }
  void server_is(bool running, Mode mode, Call call) {
    std::lock_guard lock(server.mutex);
    server.running = running;
    server.mode = mode;
    server.call = call;
  }
  // What happened from `from` on.
  Events since(long long from) {
    Events out;
    for (const auto& e : server.recorded()) {
      if (e.first >= from) out.push_back(e);
    }
    return out;
  }
};

TEST_F(Probe, HealthyServerLoadsTheDatasetWhichThePreviousWatchdogCloses) {
  run_until(T0 + 2000);
  EXPECT_TRUE(form->cdsGet_Data.Active());
  ASSERT_NE(form->cdsGet_Data.DSBase(), nullptr);
  run_until(T0 + 4000);
  EXPECT_NE(form->TThread_Comando, nullptr);
  run_until(T1 + 7999);
  EXPECT_TRUE(form->cdsGet_Data.Active());  // loaded again at T1 + 2 s
  run_until(T1 + 8000);                     // the first probe's watchdog wakes at T1 + 6 s
  EXPECT_FALSE(form->cdsGet_Data.Active());
  run_until(T2 + 39000);
  EXPECT_EQ(since(0), (Events{{T0 + 2000, kConnect}, {T0 + 2000, kQuery}, {T0 + 24000, "disconnect"},
                              {T1 + 2000, kConnect}, {T1 + 2000, kQuery}, {T1 + 24000, "disconnect"},
                              {T2 + 2000, kConnect}, {T2 + 2000, kQuery}, {T2 + 24000, "disconnect"}}));
}

TEST_F(Probe, RecoveryWhenTheServerFailsAtACheckAfterHealthyOnes) {
  struct Case {
    const char* name;
    bool running;
    Mode mode;
    Call call;
    Events expected;  // from T2 on
  };
  const Case cases[] = {
      {"process missing: started twice, about 4 s apart", false, Mode::Accept, Call::Answer,
       {{T2 + 2000, kConnect}, {T2 + 6000, "kill"}, {T2 + 22000, kLaunch}, {T2 + 26000, kLaunch}}},
      {"refusing connections: killed, then started twice", true, Mode::Refuse, Call::Answer,
       {{T2 + 2000, kConnect}, {T2 + 6000, "kill"}, {T2 + 22000, kLaunch}, {T2 + 26000, kLaunch}}},
      {"hanging remote call: the kill ends it", true, Mode::Accept, Call::Hang,
       {{T2 + 2000, kConnect}, {T2 + 2000, kQuery}, {T2 + 6000, "kill"}, {T2 + 6000, "call broken"},
        {T2 + 24000, "disconnect"}, {T2 + 26000, kLaunch}}},
      {"failing remote call", true, Mode::Accept, Call::Fail,
       {{T2 + 2000, kConnect}, {T2 + 2000, kQuery}, {T2 + 6000, "kill"},
        {T2 + 24000, "disconnect"}, {T2 + 26000, kLaunch}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    server.events.clear();
    form.reset();
    server_is(true, Mode::Accept, Call::Answer);
    VirtualClock case_clock;
    EventLoop case_loop(case_clock);
    Application case_app(case_loop);
    StandInServer case_server(case_clock);
    case_server.running = true;
    StandInOps case_ops;
    case_ops.server = &case_server;
    case_ops.set_service(u"FirebirdServerDefaultInstance", 4);
    TDBXDriverRegistry case_drivers;
    case_drivers.Register(u"Datasnap", std::make_shared<StandInDriver>(case_server));
    auto f = create_main_window(
        case_app, {case_loop, case_app, case_ops, host, case_drivers, {}});
    case_loop.run_until(Millis(T2 - 1000));
    {
      std::lock_guard lock(case_server.mutex);
      case_server.running = c.running;
      case_server.mode = c.mode;
      case_server.call = c.call;
      case_server.launched_mode = Mode::Accept;
    }
    case_loop.run_until(Millis(T2 + 30000));
    Events happened;
    for (const auto& e : case_server.recorded()) {
      if (e.first >= T2) happened.push_back(e);
    }
    EXPECT_EQ(happened, c.expected);
    EXPECT_TRUE(f->tmServidor.enabled());
    f->watchdogs().quit();
    case_clock.wait_for_threads(kNoDeadline);
  }
}

// A server whose _Consultas answers null is judged by the fetch through the
// provider link: the dataset opens with the provider's packet, and the close
// that follows (the next probe's, then the previous watchdog's, handed to
// the main thread) sends the reset call.
const std::string kFetch = "AS_GetRecords -1 1";
const std::string kReset = "AS_GetRecords 0 2";

TEST_F(Probe, ANullAnswerOpensTheDatasetThroughTheProviderLinkAndTheServerIsKept) {
  server_is(true, Mode::Accept, Call::Null);
  run_until(T0 + 4000);
  EXPECT_TRUE(form->cdsGet_Data.Active());
  ASSERT_NE(form->cdsGet_Data.DSBase(), nullptr);
  EXPECT_NE(form->TThread_Comando, nullptr);
  run_until(T2 + 39000);
  EXPECT_EQ(since(0),
            (Events{{T0 + 2000, kConnect}, {T0 + 2000, kQuery}, {T0 + 4000, kFetch},
                    {T0 + 24000, "disconnect"},
                    {T1 + 2000, kConnect}, {T1 + 2000, kReset}, {T1 + 2000, kQuery},
                    {T1 + 4000, kFetch}, {T1 + 8000, kReset}, {T1 + 24000, "disconnect"},
                    {T2 + 2000, kConnect}, {T2 + 2000, kQuery}, {T2 + 4000, kFetch},
                    {T2 + 8000, kReset}, {T2 + 24000, "disconnect"}}));
  EXPECT_TRUE(error_boxes.empty());
}

TEST_F(Probe, ANullAnswerWhoseFetchFailsLeavesTheDatasetClosed) {
  server_is(true, Mode::Accept, Call::Null);
  server.provider_call = Call::Fail;
  run_until(T0 + 4000);
  // The check swallows the failed open, but the responsiveness watchdog was
  // started first.
  EXPECT_FALSE(form->cdsGet_Data.Active());
  EXPECT_NE(form->TThread_Comando, nullptr);
  EXPECT_TRUE(error_boxes.empty());
}

TEST_F(Probe, TheConnectionWatchdogsDisconnectEndsAHangingFetch) {
  server_is(true, Mode::Accept, Call::Null);
  server.provider_call = Call::Hang;
  run_until(T0 + 30000);
  // The failed open's close step still sends the reset call, which the
  // broken connection fails at once.
  EXPECT_EQ(since(0), (Events{{T0 + 2000, kConnect}, {T0 + 2000, kQuery}, {T0 + 4000, kFetch},
                              {T0 + 24000, "provider call broken"}, {T0 + 24000, kReset},
                              {T0 + 24000, "provider call broken"}, {T0 + 24000, "disconnect"}}));
  EXPECT_FALSE(form->cdsGet_Data.Active());
  EXPECT_FALSE(form->CnxServer.Connected());
}

// The watchdog's close runs on the main thread outside any connect: its
// reset call must still be a call that a disconnect ends.
TEST_F(Probe, TheConnectionWatchdogsDisconnectEndsAHangingResetCall) {
  server_is(true, Mode::Accept, Call::Null);
  run_until(T1 + 5000);
  ASSERT_TRUE(form->cdsGet_Data.Active());
  {
    std::lock_guard lock(server.mutex);
    server.provider_call = Call::Hang;
  }
  run_until(T1 + 30000);
  EXPECT_EQ(since(T1 + 5000), (Events{{T1 + 8000, kReset}, {T1 + 24000, "provider call broken"},
                                      {T1 + 24000, "disconnect"}}));
  EXPECT_FALSE(form->cdsGet_Data.Active());
  EXPECT_FALSE(form->CnxServer.Connected());
}

TEST_F(Probe, AServerThatNeverAnswersTheCallIsKilledAndStartedAgain) {
  server_is(true, Mode::Accept, Call::Hang);
  // No probe has ever passed. The connection watchdog's disconnect at T0 + 24 s
  // ends the hanging call; the failed probe leaves a responsiveness watchdog,
  // which finds the next probe hanging too and kills the server.
  run_until(T0 + 30000);
  EXPECT_EQ(since(0), (Events{{T0 + 2000, kConnect},
                              {T0 + 2000, kQuery},
                              {T0 + 24000, "call broken"},
                              {T0 + 24000, "disconnect"}}));
  EXPECT_FALSE(form->CnxServer.Connected());
  EXPECT_NE(form->TThread_Comando, nullptr);
  run_until(T1 + 46000);
  EXPECT_EQ(since(T1), (Events{{T1 + 2000, kConnect},
                               {T1 + 2000, kQuery},
                               {T1 + 24000, "call broken"},
                               {T1 + 24000, "disconnect"},
                               {T1 + 26000, "kill"},
                               {T1 + 42000, kConnect},  // refused: the server is gone
                               {T1 + 46000, kLaunch}}));
}

TEST_F(Probe, EachResponsivenessWatchdogClearsTheReferenceAtTheEndOfItsRun) {
  run_until(T1 + 7999);
  EXPECT_NE(form->TThread_Comando, nullptr);  // the watchdog of the probe at T1
  // The watchdog of the probe at T0 closes the dataset at T1 + 8 s and then
  // clears the reference, whichever watchdog it names by then.
  run_until(T1 + 8000);
  EXPECT_EQ(form->TThread_Comando, nullptr);
  run_until(T2 + 4000);
  EXPECT_NE(form->TThread_Comando, nullptr);
}

TEST_F(Probe, AResponsivenessWatchdogThatRelaunchesEnablesTheServerTimerAgain) {
  run_until(T2 - 1000);
  server_is(true, Mode::Accept, Call::Hang);
  run_until(T2 + 10000);  // killed at T2 + 6 s; relaunched and enabled at T2 + 26 s
  server_is(false, Mode::Accept, Call::Answer);
  form->tmServidor.set_enabled(false);
  run_until(T2 + 26000);
  EXPECT_TRUE(form->tmServidor.enabled());
  // Enabled afresh at T2 + 26 s: no check at T2 + 40 s, the next one at
  // T2 + 66 s. The watchdog of the failed probe at T2 finds nothing loaded at
  // T2 + 48 s.
  run_until(T2 + 65999);
  EXPECT_EQ(since(T2 + 26000), (Events{{T2 + 26000, kLaunch}, {T2 + 48000, "kill"}}));
  run_until(T2 + 68000);
  const Events later = since(T2 + 66000);
  EXPECT_NE(std::find(later.begin(), later.end(), Events::value_type{T2 + 68000, kConnect}),
            later.end());
}

}  // namespace
}  // namespace wardenix::testing
