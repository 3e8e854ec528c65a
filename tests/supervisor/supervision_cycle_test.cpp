// The start sequence and the Firebird check, as timelines in virtual time.
#include <gtest/gtest.h>

#include "form_fixture.h"

namespace wardenix::testing {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

constexpr char16_t kDefault[] = u"FirebirdServerDefaultInstance";
constexpr char16_t kKestrane[] = u"FirebirdServerFirebird_21_Kestrane";

using SupervisionCycle = FormFixture;

TEST_F(SupervisionCycle, DefaultInstanceRunningLeadsToServerChecks) {
  ops.set_service(kDefault, 4);
  start();
  loop.run_until(59999ms);
  EXPECT_EQ(log(), (Lines{"00:00:30: Iniciando Wardenix", "00:00:30: Verificando Firebird"}));
  loop.run_until(60000ms);
  EXPECT_EQ(log(), (Lines{"00:00:30: Iniciando Wardenix", "00:00:30: Verificando Firebird",
                          "00:01:00: Firebird Default OK",
                          "00:01:00: Verificando Servidor de Aplicação"}));
  EXPECT_FALSE(form->tmFirebird.enabled());
  EXPECT_TRUE(form->tmServidor.enabled());
  EXPECT_FALSE(form->tmIniciar.enabled());
  EXPECT_FALSE(form->btnInicio.enabled);
  // The first server check begins at 100 s and logs 2 s later.
  loop.run_until(99999ms);
  EXPECT_EQ(log().size(), 4u);
  loop.run_until(100000ms);
  EXPECT_EQ(log().back(), "00:01:42: Verificando Conexão");
  EXPECT_EQ(clock.now(), 102000ms);  // the check's sleep held the main thread
  loop.run_until(142000ms);
  EXPECT_EQ(log().back(), "00:02:22: Verificando Conexão");
  EXPECT_EQ(log().size(), 6u);
}

TEST_F(SupervisionCycle, ReportsWhichServiceRunsAndAsksTheSecondOnlyWhenNeeded) {
  struct Case {
    std::int32_t default_state;
    std::int32_t kestrane_state;
    const char* ok_line;
    std::vector<std::string> queries;
  };
  const Case cases[] = {
      {-1, 4, "00:01:00: Firebird Kestrane OK",
       {"FirebirdServerDefaultInstance@", "FirebirdServerFirebird_21_Kestrane@"}},
      {1, 4, "00:01:00: Firebird Kestrane OK",
       {"FirebirdServerDefaultInstance@", "FirebirdServerFirebird_21_Kestrane@"}},
      {4, 4, "00:01:00: Firebird Default OK", {"FirebirdServerDefaultInstance@"}},
  };
  for (const auto& c : cases) {
    VirtualClock case_clock;
    EventLoop case_loop(case_clock);
    Application case_app(case_loop);
    StandInOps case_ops;
    case_ops.set_service(kDefault, c.default_state);
    case_ops.set_service(kKestrane, c.kestrane_state);
    auto case_form = create_main_window(case_app, {case_loop, case_app, case_ops, host, drivers, {}});
    case_loop.run_until(60000ms);
    ASSERT_EQ(case_form->mmLog.Lines().size(), 4u);
    EXPECT_EQ(to_utf8(case_form->mmLog.Lines()[2]), c.ok_line);
    EXPECT_EQ(case_ops.queries, c.queries);
  }
}

TEST_F(SupervisionCycle, WithoutFirebirdTheProblemRepeatsUntilAServiceStarts) {
  start();
  loop.run_until(125000ms);
  EXPECT_EQ(log(), (Lines{"00:00:30: Iniciando Wardenix", "00:00:30: Verificando Firebird",
                          "00:01:00: Problemas com o Firebird. Verifique",
                          "00:01:30: Problemas com o Firebird. Verifique",
                          "00:02:00: Problemas com o Firebird. Verifique"}));
  EXPECT_FALSE(form->tmServidor.enabled());
  ops.set_service(kKestrane, 2);  // starting is not running yet
  loop.run_until(150000ms);
  EXPECT_EQ(log().back(), "00:02:30: Problemas com o Firebird. Verifique");
  ops.set_service(kKestrane, 4);
  loop.run_until(180000ms);
  EXPECT_EQ(log().back(), "00:03:00: Verificando Servidor de Aplicação");
  EXPECT_FALSE(form->tmFirebird.enabled());
  loop.run_until(222000ms);
  EXPECT_EQ(log().back(), "00:03:42: Verificando Conexão");
}

TEST_F(SupervisionCycle, IniciarAtTenSecondsRunsTheStartSequenceOnce) {
  ops.set_service(kDefault, 4);
  start();
  loop.run_until(10000ms);
  form->user_clicks_btnInicio();
  EXPECT_EQ(log(), (Lines{"00:00:10: Iniciando Wardenix", "00:00:10: Verificando Firebird"}));
  loop.run_until(39999ms);
  EXPECT_EQ(log().size(), 2u);
  loop.run_until(40000ms);
  EXPECT_EQ(log().back(), "00:00:40: Verificando Servidor de Aplicação");
  form->user_clicks_btnInicio();  // disabled now: nothing happens
  EXPECT_EQ(log().size(), 4u);
}

TEST_F(SupervisionCycle, LogStampsUseTheSystemTimeSeparator) {
  host.formats.time_separator = u'.';
  start();
  loop.run_until(30000ms);
  EXPECT_EQ(log().front(), "00.00.30: Iniciando Wardenix");
}

TEST_F(SupervisionCycle, AFailingCheckReachesTheErrorBoxAndTheTimerGoesOn) {
  class ThrowingOps : public StandInOps {
   public:
    std::int32_t QueryServiceState(UStringView, UStringView) override {
      throw std::runtime_error("service manager gone");
    }
  } throwing;
  auto failing = create_main_window(app, {loop, app, throwing, host, drivers, {}});
  app.on_error_box = [this](const UString&, const UString& m) { error_boxes.push_back(m); };
  loop.run_until(90000ms);
  EXPECT_EQ(error_boxes, (std::vector<UString>{u"service manager gone", u"service manager gone"}));
  EXPECT_TRUE(failing->tmFirebird.enabled());
}

}  // namespace
}  // namespace wardenix::testing
