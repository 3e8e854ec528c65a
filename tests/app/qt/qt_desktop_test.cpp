// The Linux desktop program's window, tray icon and event loop driving the
// window model, in virtual time on a virtual display.
#include "app/qt/qt_desktop.h"

#include <QAction>
#include <QApplication>
#include <QScreen>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "tests/supervisor/form_fixture.h"

namespace wardenix::testing {
namespace {

using namespace std::chrono_literals;

QApplication& qt_application() {
  static int argc = 1;
  static char name[] = "qt_desktop_tests";
  static char* argv[] = {name, nullptr};
  // Kept to the end of the process: Qt's own statics go before a static one.
  static QApplication* app = new QApplication(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  return *app;
}

struct QtDesktop : ::testing::Test {
  VirtualClock clock;
  EventLoop loop{clock};
  Application app{loop};
  StandInServer server{clock};
  StandInOps ops;
  StandInHost host;
  TDBXDriverRegistry drivers;
  std::unique_ptr<qt::Desktop> desktop;
  void* library = nullptr;
  std::vector<std::unique_ptr<Timer>> steps;
  Millis ended_at{-1};

  void SetUp() override {
    qt_application();
    // The program loads the test broadcast library beside it; it starts
    // afresh for each test, whichever ran before in this process.
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/libdezozude.so");
    library = dlopen(beside.toStdString().c_str(), RTLD_NOW);
    if (library) reinterpret_cast<void (*)(int)>(dlsym(library, "TestDezozudeReset"))(1);
    host.directory = u"/nonexistent/";
    host.file_dates = {{host.directory + u"varudedizerazidad.exe", {2015, 9, 30, 16, 11, 8, 0}}};
    ops.server = &server;
    drivers.Register(u"Datasnap", std::make_shared<StandInDriver>(server));
  }
  void TearDown() override {
    if (desktop) desktop->form().watchdogs().quit();
    desktop.reset();
    steps.clear();
    clock.wait_for_threads(kNoDeadline);
    if (library) dlclose(library);
  }
  void start(bool tray) {
    desktop = std::make_unique<qt::Desktop>(app, TfrmPrincipal::Services{loop, app, ops, host, drivers, {}}, tray);
  }
  void at(Millis when, std::function<void()> action) {
    auto timer = std::make_unique<Timer>(loop, when - clock.now(), true);
    Timer* t = timer.get();
    t->set_on_timer([t, action = std::move(action)] {
      t->set_enabled(false);
      action();
    });
    steps.push_back(std::move(timer));
  }
  void run() {
    desktop->run();
    ended_at = clock.now();
  }
  template <typename W = QWidget>
  W* find(const char* name) { return desktop->window().findChild<W*>(QString::fromLatin1(name)); }
  void click(const char* name) { find<QPushButton>(name)->click(); }
  void choose(const char* name) { desktop->menu().findChild<QAction*>(QString::fromLatin1(name))->trigger(); }
};

TEST_F(QtDesktop, StartsHiddenInTheTrayAndVisualizarShowsTheWindowAsLaidOut) {
  start(true);
  EXPECT_FALSE(desktop->window().isVisible());
  EXPECT_TRUE(desktop->tray().isVisible());
  EXPECT_EQ(desktop->tray().toolTip(), QStringLiteral("Kestrane DazevaVIZ Wardenix"));
  EXPECT_EQ(desktop->tray().contextMenu(), &desktop->menu());
  const auto actions = desktop->menu().actions();
  ASSERT_EQ(actions.size(), 3);
  EXPECT_EQ(actions[0]->text(), QStringLiteral("Visualizar"));
  EXPECT_TRUE(actions[1]->isSeparator());
  EXPECT_EQ(actions[2]->text(), QStringLiteral("Finalizar"));
  at(1000ms, [&] {
    choose("Propriedades1");
    QWidget& w = desktop->window();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.size(), QSize(339, 173));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());  // fixed border
    EXPECT_FALSE(w.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(w.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Wardenix - Atualizado dia 30/09/2015 16:11:08"));
    EXPECT_EQ(w.palette().color(QPalette::Window), QColor(192, 192, 192));
    EXPECT_EQ(w.geometry().center(), QGuiApplication::primaryScreen()->geometry().center());
    const struct {
      const char* name;
      const char* parent;
      QRect place;  // width 0: sized to the text
      const char* text;
      int pixels;
      bool bold;
    } controls[] = {
        {"Panel2", "frmPrincipal", {0, 0, 339, 49}, nullptr, 0, false},
        {"Label1", "Panel2", {8, 2, 0, 0}, "Servidor", 11, true},
        {"edServidor", "Panel2", {8, 17, 100, 24}, "localhost", 13, false},
        {"Label3", "Panel2", {113, 2, 0, 0}, "Porta", 11, true},
        {"edPorta", "Panel2", {113, 17, 45, 24}, "3063", 13, false},
        {"Panel3", "frmPrincipal", {0, 49, 339, 105}, nullptr, 0, false},
        {"btnInicio", "Panel3", {8, 6, 100, 40}, "&Iniciar", 13, true},
        {"btnFechar", "Panel3", {8, 47, 100, 25}, "&Segundo Plano", 11, true},
        {"btnFinalizar", "Panel3", {8, 73, 100, 25}, "&Finalizar", 11, true},
        {"mmLog", "Panel3", {111, 6, 225, 92}, nullptr, 11, false},
        {"sts", "frmPrincipal", {0, 154, 339, 19}, nullptr, 0, false},
        {"sts0", "sts", {0, 0, 180, 19}, "Kestrane", 0, false},
        {"sts1", "sts", {180, 0, 100, 19}, "Versão.: 7.5.14.1", 0, false},
    };
    for (const auto& c : controls) {
      SCOPED_TRACE(c.name);
      QWidget* control = find(c.name);
      ASSERT_NE(control, nullptr);
      EXPECT_TRUE(control->isVisible());
      EXPECT_EQ(control->parentWidget()->objectName(), QString::fromLatin1(c.parent));
      EXPECT_EQ(control->pos(), c.place.topLeft());
      if (c.place.width()) EXPECT_EQ(control->size(), c.place.size());
      else EXPECT_GT(control->width(), 20);
      if (c.text) {
        QString text;
        if (auto* label = qobject_cast<QLabel*>(control)) text = label->text();
        if (auto* edit = qobject_cast<QLineEdit*>(control)) text = edit->text();
        if (auto* button = qobject_cast<QPushButton*>(control)) text = button->text();
        EXPECT_EQ(text, QString::fromUtf8(c.text));
      }
      if (c.pixels) {
        EXPECT_EQ(control->font().family(), QStringLiteral("Tahoma"));
        EXPECT_EQ(control->font().pixelSize(), c.pixels);
        EXPECT_EQ(control->font().bold(), c.bold);
      }
    }
    EXPECT_TRUE(find<QLineEdit>("edServidor")->isReadOnly());
    auto* log = find<QPlainTextEdit>("mmLog");
    EXPECT_TRUE(log->isReadOnly());
    EXPECT_EQ(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(log->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(log->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    click("btnFinalizar");
  });
  run();
  EXPECT_EQ(ended_at, 1000ms);
  EXPECT_FALSE(desktop->tray().isVisible());
}

TEST_F(QtDesktop, CloseBoxAndSegundoPlanoSendTheWindowToTheBackground) {
  start(true);
  at(1000ms, [&] { choose("Propriedades1"); });
  at(2000ms, [&] {
    desktop->window().close();
    EXPECT_FALSE(desktop->window().isVisible());
    EXPECT_TRUE(desktop->tray().isVisible());
    EXPECT_EQ(desktop->form().State(), WindowState::Background);
  });
  at(35000ms, [&] {
    const QString log = find<QPlainTextEdit>("mmLog")->toPlainText();
    EXPECT_TRUE(log.contains(QStringLiteral(": Iniciando Wardenix")));  // the supervision went on
    choose("Propriedades1");
    EXPECT_TRUE(desktop->window().isVisible());
    EXPECT_EQ(find<QPlainTextEdit>("mmLog")->toPlainText(), log);
    click("btnFechar");
    EXPECT_FALSE(desktop->window().isVisible());
    choose("EncerrarServidor1");  // tray "Finalizar": nothing happens
    EXPECT_EQ(desktop->form().State(), WindowState::Background);
    click("btnFinalizar");
  });
  run();
  EXPECT_EQ(ended_at, 35000ms);
}

TEST_F(QtDesktop, WithoutANotificationAreaTheWindowStaysReachable) {
  start(false);
  at(1000ms, [&] {
    EXPECT_TRUE(desktop->window().isVisible());  // shown as the loop started
    EXPECT_EQ(desktop->form().State(), WindowState::Shown);
    EXPECT_FALSE(desktop->tray().isVisible());
    click("btnFechar");
    // Minimised to the taskbar instead of hidden.
    EXPECT_TRUE(desktop->window().isVisible());
    EXPECT_TRUE(desktop->window().isMinimized());
    click("btnFinalizar");
  });
  run();
}

TEST_F(QtDesktop, FinalizarEndsTheProgramWhileAWatchdogSleeps) {
  ops.set_service(u"FirebirdServerDefaultInstance", 4);
  server.running = true;
  start(true);
  // The first server check at 100 s starts a connection watchdog that sleeps 20 s.
  at(110000ms, [&] { click("btnFinalizar"); });
  run();
  EXPECT_EQ(ended_at, 110000ms);
  desktop->form().watchdogs().quit();
  clock.wait_for_threads(kNoDeadline);
  for (const auto& [when, what] : server.recorded()) EXPECT_LT(when, 110000) << what;
}

TEST_F(QtDesktop, BroadcastReceiverRegistersTheWindowOnX11) {
  start(true);
  if (!desktop->receiver()) GTEST_SKIP() << "not on X11";
  EXPECT_EQ(desktop->receiver()->ReceiverNum(), 7);  // the test library beside the tests
  EXPECT_NE(desktop->receiver()->MessageID(), 0u);
  at(1000ms, [&] { click("btnFinalizar"); });
  run();
}

}  // namespace
}  // namespace wardenix::testing
