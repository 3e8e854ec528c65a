// The main window: creation, the show step, the close protocol and the tray.
#include "supervisor/principal_form.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "form_fixture.h"
#include "tests/support/temp_dir.h"

namespace wardenix::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct MainWindow : FormFixture {
  TempDir temp;
  fs::path dir;

  void SetUp() override {
    dir = temp.path();
    host.directory = from_utf8((dir / "").string());
    host.file_dates[host.directory + u"varudedizerazidad.exe"] = {2015, 9, 30, 16, 11, 8, 0};
  }
  void TearDown() override {
    FormFixture::TearDown();
  }
  void write_ini(const std::string& text) { std::ofstream(dir / "rez.ini", std::ios::binary) << text; }
};

TEST_F(MainWindow, StartsHiddenWithItsInitialComponents) {
  start();
  EXPECT_EQ(app.Title, u"Kestrane DazevaVIZ Wardenix");
  EXPECT_FALSE(app.ShowMainForm);
  EXPECT_EQ(form->State(), WindowState::Hidden);
  EXPECT_TRUE(form->TrayIcon1.visible);
  EXPECT_EQ(form->TrayIcon1.hint, u"Kestrane DazevaVIZ Wardenix");
  EXPECT_TRUE(form->tmIniciar.enabled());
  EXPECT_FALSE(form->tmFirebird.enabled());
  EXPECT_FALSE(form->tmServidor.enabled());
  EXPECT_EQ(form->tmServidor.interval(), 40000ms);
  EXPECT_EQ(form->edServidor.Text(), u"localhost");
  EXPECT_EQ(form->edPorta.Text(), u"3063");
  EXPECT_EQ(form->edProcesso.Text(), u"DAZEVAVIZ.EXE");
  EXPECT_EQ(form->edArquivo.Text(), u"C:\\KESTRANE\\REZ7\\DAZEVAVIZ.EXE");
  EXPECT_EQ(form->Tag, 0);
  EXPECT_TRUE(form->mmLog.Lines().empty());
  EXPECT_EQ(form->Caption, u"Wardenix - Atualizado dia 30/09/2015 16:11:08");
  EXPECT_EQ(form->sts[0].text, u"Kestrane");
  EXPECT_EQ(form->sts[1].text, u"Versão.: 7.5.14.1");
  EXPECT_TRUE(error_boxes.empty());
}

TEST_F(MainWindow, CaptionFollowsTheSystemFormatsAndLeavesOutMidnight) {
  host.formats = FormatSettings{u"m/d/yyyy", u"h:nn:ss ampm", u'/', u':', u"AM", u"PM"};
  host.file_dates[host.directory + u"varudedizerazidad.exe"] = {2016, 1, 2, 0, 0, 0, 0};
  start();
  EXPECT_EQ(form->Caption, u"Wardenix - Atualizado dia 1/2/2016");
}

TEST_F(MainWindow, MissingDateFileStopsTheCreationStepButNotTheProgram) {
  host.file_dates.clear();
  start();
  EXPECT_EQ(error_boxes, (std::vector<UString>{u"Invalid argument to date encode"}));
  EXPECT_EQ(form->Caption, u"DazevaViz Wardenix");
  EXPECT_EQ(form->sts[1].text, u"Versão");
  loop.run_until(30000ms);
  EXPECT_EQ(form->mmLog.Lines().size(), 2u);  // the supervision runs all the same
}

TEST_F(MainWindow, VersionWithoutVersionInformationReadsZeros) {
  host.version.reset();
  start();
  EXPECT_EQ(form->sts[1].text, u"Versão.: 0.0.0.0");
}

TEST_F(MainWindow, DefaultsWithoutRezIni) {
  start();
  form->Propriedades1Click();
  EXPECT_EQ(form->State(), WindowState::Shown);
  EXPECT_EQ(form->edServidor.Text(), u"localhost");
  EXPECT_EQ(form->edPorta.Text(), u"3063");
  EXPECT_EQ(form->edArquivo.Text(), host.directory + u"DAZEVAVIZ.EXE");
}

TEST_F(MainWindow, RezIniIsReadAtTheFirstShowingOnly) {
  write_ini("[REZ]\r\nIPDS=server2\r\nPORTADS=4000\r\n");
  start();
  loop.run_until(10000ms);
  EXPECT_EQ(form->edServidor.Text(), u"localhost");
  EXPECT_EQ(form->edPorta.Text(), u"3063");
  form->Propriedades1Click();
  EXPECT_EQ(form->edServidor.Text(), u"server2");
  EXPECT_EQ(form->edPorta.Text(), u"4000");
  // The start sequence still runs once, 30 s after start.
  loop.run_until(30000ms);
  EXPECT_EQ(form->mmLog.Lines().size(), 2u);
  EXPECT_EQ(to_utf8(form->mmLog.Lines()[0]), "00:00:30: Iniciando Wardenix");
  // Background and back: no second show step, so the file is not read again.
  write_ini("[REZ]\r\nIPDS=server3\r\n");
  form->btnFecharClick();
  form->Propriedades1Click();
  EXPECT_EQ(form->edServidor.Text(), u"server2");
  loop.run_until(120000ms);
  EXPECT_EQ(log().front(), "00:00:30: Iniciando Wardenix");
}

TEST_F(MainWindow, FirstShowingAfterTheStartSequenceRunsItAgain30sLater) {
  ops.set_service(u"FirebirdServerDefaultInstance", 4);
  start();
  loop.run_until(45000ms);
  form->Propriedades1Click();
  EXPECT_TRUE(form->tmIniciar.enabled());
  loop.run_until(74999ms);
  EXPECT_EQ(log().size(), 4u);
  loop.run_until(75000ms);
  EXPECT_EQ(log(), (std::vector<std::string>{"00:01:15: Iniciando Wardenix",
                                             "00:01:15: Verificando Firebird"}));
}

TEST_F(MainWindow, CloseBoxAndSegundoPlanoSendTheWindowToTheBackground) {
  start();
  form->Propriedades1Click();
  form->CloseBoxClick();
  EXPECT_EQ(form->State(), WindowState::Background);
  EXPECT_TRUE(app.Minimized());
  EXPECT_FALSE(app.TaskbarVisible());
  EXPECT_TRUE(form->TrayIcon1.visible);
  form->Propriedades1Click();
  EXPECT_EQ(form->State(), WindowState::Shown);
  EXPECT_TRUE(app.TaskbarVisible());
  form->btnFecharClick();
  EXPECT_EQ(form->State(), WindowState::Background);
  // The supervision goes on untouched.
  loop.run_until(30000ms);
  EXPECT_EQ(log().size(), 2u);
  EXPECT_FALSE(app.Terminated());
}

TEST_F(MainWindow, FinalizarEndsTheProgramAtOnce) {
  start();
  loop.post([&] { form->btnFinalizarClick(); });
  loop.run();  // returns: the message loop has ended
  EXPECT_EQ(form->Tag, TfrmPrincipal::kQuitRequested);
  EXPECT_EQ(form->State(), WindowState::Ended);
  EXPECT_FALSE(form->TrayIcon1.visible);
  EXPECT_TRUE(form->watchdogs().quitting());
  EXPECT_TRUE(app.Terminated());
}

TEST_F(MainWindow, FinalizarWakesASleepingWatchdogThatThenDoesNothing) {
  start();
  std::atomic<bool> acted{false};
  clock.start_thread([&] {
    if (form->watchdogs().sleep_for(42000ms)) acted = true;
  });
  loop.run_until(5000ms);
  form->btnFinalizarClick();
  EXPECT_TRUE(clock.wait_for_threads(kNoDeadline));
  EXPECT_EQ(clock.now(), 5000ms);
  EXPECT_FALSE(acted);
}

TEST_F(MainWindow, TrayFinalizarDoesNothing) {
  start();
  form->EncerrarServidor1Click();
  EXPECT_EQ(form->State(), WindowState::Hidden);
  EXPECT_FALSE(app.Terminated());
  EXPECT_EQ(to_utf8(form->PopupMenu1[2].caption), "Finalizar");
  EXPECT_EQ(to_utf8(form->PopupMenu1[1].caption), "-");
}

}  // namespace
}  // namespace wardenix::testing
