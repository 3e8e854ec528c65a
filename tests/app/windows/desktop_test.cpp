// wardenix.exe's window, tray icon and message loop driving the window model,
// in virtual time, with the machine and the server stood in for. Each test
// schedules the user's actions on the event loop and runs the real message
// loop until "&Finalizar" ends it.
#include "app/windows/desktop.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/windows/control_ids.h"
#include "tests/supervisor/form_fixture.h"
#include "tests/support/temp_dir.h"

#ifndef TEST_DEZOZUDE_DIR
#error TEST_DEZOZUDE_DIR names the directory of the test broadcast library
#endif

namespace wardenix::testing {
namespace {

using namespace std::chrono_literals;
using namespace win32;
namespace fs = std::filesystem;

std::wstring text_of(HWND window) {
  wchar_t text[8192] = {};
  GetWindowTextW(window, text, 8192);
  return text;
}

// Place of a control within its parent's client area.
RECT place_of(HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return RECT{r.left, r.top, r.right - r.left, r.bottom - r.top};  // left, top, width, height
}

// Closes a message box with this caption once `ready` says so, on a thread
// of its own; remembers the box's text.
struct BoxCloser {
  std::wstring caption;
  std::function<bool()> ready = [] { return true; };
  std::wstring text;
  std::atomic<int> seen{0};
  std::atomic<bool> stop{false};
  std::thread thread;

  void start() {
    thread = std::thread([this] {
      while (!stop) {
        if (HWND box = FindWindowW(L"#32770", caption.c_str()); box && IsWindowVisible(box)) {
          wchar_t t[512] = {};
          GetDlgItemTextW(box, 0xFFFF, t, 512);
          if (ready()) {
            text = t;
            ++seen;
            SendMessageW(box, WM_COMMAND, IDOK, 0);
          }
        }
        Sleep(10);
      }
    });
  }
  ~BoxCloser() {
    stop = true;
    if (thread.joinable()) thread.join();
  }
};

struct WindowsDesktop : ::testing::Test {
  VirtualClock clock;
  EventLoop loop{clock};
  Application app{loop};
  StandInServer server{clock};
  StandInOps ops;
  StandInHost host;
  TDBXDriverRegistry drivers;
  testing::TempDir temp;
  fs::path dir;
  HMODULE library = nullptr;
  std::unique_ptr<Desktop> desktop;
  std::vector<std::unique_ptr<Timer>> steps;
  Millis ended_at{-1};

  void SetUp() override {
    dir = temp.path();
    host.directory = from_utf8((dir / "").string());
    host.file_dates = {{host.directory + u"varudedizerazidad.exe", {2015, 9, 30, 16, 11, 8, 0}}};
    ops.server = &server;
    drivers.Register(u"Datasnap", std::make_shared<StandInDriver>(server));
    provide_library();
  }
  void TearDown() override {
    if (desktop) desktop->form().watchdogs().quit();
    desktop.reset();
    steps.clear();
    clock.wait_for_threads(kNoDeadline);
    if (library) FreeLibrary(library);
    SetDllDirectoryW(nullptr);
  }

  void provide_library() {
    const std::wstring lib_dir = L"Z:" TEST_DEZOZUDE_DIR;
    SetDllDirectoryW(lib_dir.c_str());
    library = LoadLibraryW((lib_dir + L"/DEZOZUDE.DLL").c_str());
    ASSERT_NE(library, nullptr);
    reinterpret_cast<void (*)(int)>(reinterpret_cast<void (*)()>(GetProcAddress(library, "TestDezozudeReset")))(1);
  }
  std::string library_calls() {
    char text[4096];
    reinterpret_cast<int (*)(char*, int)>(reinterpret_cast<void (*)()>(GetProcAddress(library, "TestDezozudeLog")))(
        text, sizeof text);
    return text;
  }

  void start() { desktop = std::make_unique<Desktop>(app, TfrmPrincipal::Services{loop, app, ops, host, drivers, {}}); }
  // Runs `action` once at `when` (virtual time), on the main thread.
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

  HWND main() { return desktop->window().handle(); }
  HWND control(int panel, int id) { return GetDlgItem(GetDlgItem(main(), panel), id); }
  HWND memo() { return control(kIdPanel3, kIdMmLog); }
  void click(int panel, int id) {
    SendMessageW(main(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control(panel, id)));
  }
  void choose(int command) { SendMessageW(desktop->tray().handle(), WM_COMMAND, static_cast<WPARAM>(command), 0); }
  bool tray_icon_present() {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = desktop->tray().handle();
    data.uID = win32::TrayIcon::kIconId;
    return desktop->tray().shown() && Shell_NotifyIconW(NIM_MODIFY, &data);
  }
  void write_ini(const std::string& text) { std::ofstream(dir / "rez.ini", std::ios::binary) << text; }
};

TEST_F(WindowsDesktop, StartsHiddenInTheTrayAndVisualizarShowsTheWindowAsLaidOut) {
  start();
  EXPECT_FALSE(IsWindowVisible(main()));
  EXPECT_TRUE(tray_icon_present());
  at(1000ms, [&] {
    EXPECT_FALSE(IsWindowVisible(main()));
    choose(kPropriedades1);
    EXPECT_TRUE(IsWindowVisible(main()));

    // The window: client area, border, boxes, caption, centred.
    RECT client;
    GetClientRect(main(), &client);
    EXPECT_EQ(client.right, 339);
    EXPECT_EQ(client.bottom, 173);
    const LONG_PTR style = GetWindowLongPtrW(main(), GWL_STYLE);
    EXPECT_TRUE((style & WS_CAPTION) == WS_CAPTION && (style & WS_SYSMENU));
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_EQ(text_of(main()), L"Wardenix - Atualizado dia 30/09/2015 16:11:08");
    RECT frame;
    GetWindowRect(main(), &frame);
    EXPECT_NEAR((frame.left + frame.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((frame.top + frame.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
    LOGBRUSH background{};
    GetObjectW(reinterpret_cast<HBRUSH>(GetClassLongPtrW(main(), GCLP_HBRBACKGROUND)), sizeof background, &background);
    EXPECT_EQ(background.lbColor, RGB(192, 192, 192));

    // Every control: parent, place, text and font (height in pixels at 96 dpi).
    const struct {
      int panel, id;
      RECT place;  // left, top, width, height; width 0: sized to the text
      const wchar_t* text;
      int font_height;
      bool bold;
    } controls[] = {
        {0, kIdPanel2, {0, 0, 339, 49}, nullptr, 0, false},
        {kIdPanel2, kIdLabel1, {8, 2, 0, 0}, L"Servidor", -11, true},
        {kIdPanel2, kIdEdServidor, {8, 17, 100, 24}, L"localhost", -13, false},
        {kIdPanel2, kIdLabel3, {113, 2, 0, 0}, L"Porta", -11, true},
        {kIdPanel2, kIdEdPorta, {113, 17, 45, 24}, L"3063", -13, false},
        {0, kIdPanel3, {0, 49, 339, 105}, nullptr, 0, false},
        {kIdPanel3, kIdBtnInicio, {8, 6, 100, 40}, L"&Iniciar", -13, true},
        {kIdPanel3, kIdBtnFechar, {8, 47, 100, 25}, L"&Segundo Plano", -11, true},
        {kIdPanel3, kIdBtnFinalizar, {8, 73, 100, 25}, L"&Finalizar", -11, true},
        {kIdPanel3, kIdMmLog, {111, 6, 225, 92}, L"", -11, false},
        {0, kIdSts, {0, 154, 339, 19}, nullptr, -11, false},
    };
    for (const auto& c : controls) {
      SCOPED_TRACE(c.id);
      const HWND h = c.panel ? control(c.panel, c.id) : GetDlgItem(main(), c.id);
      ASSERT_NE(h, nullptr);
      EXPECT_TRUE(IsWindowVisible(h));
      const RECT p = place_of(h);
      EXPECT_EQ(p.left, c.place.left);
      EXPECT_EQ(p.top, c.place.top);
      if (c.place.right) {
        EXPECT_EQ(p.right, c.place.right);
        EXPECT_EQ(p.bottom, c.place.bottom);
      } else {
        // A label as large as its text: one line of Tahoma 8 (13 pixels on
        // Windows, 12 with Wine's own Tahoma).
        EXPECT_GT(p.right, 20);
        EXPECT_TRUE(p.bottom == 12 || p.bottom == 13) << p.bottom;
      }
      if (c.text) {
        EXPECT_EQ(text_of(h), c.text);
      }
      if (c.font_height) {
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)), sizeof font, &font);
        EXPECT_STREQ(font.lfFaceName, L"Tahoma");
        EXPECT_EQ(font.lfHeight, c.font_height);
        EXPECT_EQ(font.lfWeight, c.bold ? FW_BOLD : FW_NORMAL);
      }
    }
    // Fields and log are read-only; the log wraps and has no scroll bars.
    EXPECT_TRUE(GetWindowLongPtrW(control(kIdPanel2, kIdEdServidor), GWL_STYLE) & ES_READONLY);
    const LONG_PTR log_style = GetWindowLongPtrW(memo(), GWL_STYLE);
    EXPECT_TRUE((log_style & ES_READONLY) && (log_style & ES_MULTILINE));
    EXPECT_FALSE(log_style & (WS_VSCROLL | WS_HSCROLL | ES_AUTOHSCROLL));
    // The status bar's two panels.
    const HWND sts = GetDlgItem(main(), kIdSts);
    int edges[2] = {};
    EXPECT_EQ(SendMessageW(sts, SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges)), 2);
    EXPECT_EQ(edges[0], 180);
    EXPECT_EQ(edges[1], 280);
    wchar_t panel[64] = {};
    SendMessageW(sts, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(panel));
    EXPECT_STREQ(panel, L"Kestrane");
    SendMessageW(sts, SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(panel));
    EXPECT_STREQ(panel, L"Versão.: 7.5.14.1");

    click(kIdPanel3, kIdBtnFinalizar);
  });
  run();
  EXPECT_EQ(ended_at, 1000ms);
  EXPECT_FALSE(tray_icon_present());
}

TEST_F(WindowsDesktop, VisualizarRunsTheShowStepAndTheLogFillsTheMemo) {
  write_ini("[REZ]\r\nIPDS=server2\r\nPORTADS=4000\r\n");
  start();
  at(1000ms, [&] {
    EXPECT_EQ(text_of(control(kIdPanel2, kIdEdServidor)), L"localhost");
    choose(kPropriedades1);
    EXPECT_EQ(text_of(control(kIdPanel2, kIdEdServidor)), L"server2");
    EXPECT_EQ(text_of(control(kIdPanel2, kIdEdPorta)), L"4000");
  });
  at(31000ms, [&] {
    const std::wstring log = text_of(memo());
    EXPECT_NE(log.find(L": Iniciando Wardenix\r\n"), std::wstring::npos) << log.size();
    EXPECT_NE(log.find(L": Verificando Firebird"), std::wstring::npos);
    EXPECT_FALSE(IsWindowEnabled(control(kIdPanel3, kIdBtnInicio)));
    click(kIdPanel3, kIdBtnFinalizar);
  });
  run();
}

TEST_F(WindowsDesktop, CloseBoxAndSegundoPlanoSendTheWindowToTheBackground) {
  start();
  std::wstring log_before;
  at(1000ms, [&] { choose(kPropriedades1); });
  at(2000ms, [&] {
    SendMessageW(main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(IsWindowVisible(main()));
    EXPECT_TRUE(IsIconic(main()));
    EXPECT_TRUE(tray_icon_present());
    EXPECT_EQ(desktop->form().State(), WindowState::Background);
  });
  at(35000ms, [&] {
    log_before = text_of(memo());
    EXPECT_FALSE(log_before.empty());  // the supervision went on
    choose(kPropriedades1);
    EXPECT_TRUE(IsWindowVisible(main()));
    EXPECT_FALSE(IsIconic(main()));
    EXPECT_EQ(text_of(memo()), log_before);
    click(kIdPanel3, kIdBtnFechar);
    EXPECT_FALSE(IsWindowVisible(main()));
    EXPECT_TRUE(tray_icon_present());
  });
  at(40000ms, [&] {
    choose(kEncerrarServidor1);  // tray "Finalizar": nothing happens
    EXPECT_EQ(desktop->form().State(), WindowState::Background);
    EXPECT_TRUE(tray_icon_present());
    click(kIdPanel3, kIdBtnFinalizar);
  });
  run();
  EXPECT_EQ(ended_at, 40000ms);
}

TEST_F(WindowsDesktop, FinalizarEndsTheProgramWhileAWatchdogSleeps) {
  ops.set_service(u"FirebirdServerDefaultInstance", 4);
  server.running = true;
  start();
  // The first server check at 100 s starts a connection watchdog that sleeps 20 s.
  at(110000ms, [&] { click(kIdPanel3, kIdBtnFinalizar); });
  run();
  EXPECT_EQ(ended_at, 110000ms);
  desktop->form().watchdogs().quit();
  clock.wait_for_threads(kNoDeadline);
  for (const auto& [when, what] : server.recorded()) {
    EXPECT_LT(when, 110000) << what;  // nothing acted after the end
  }
}

RECT menu_place;
int items;
wchar_t first[32], last[32];

// Runs inside the menu's own loop: looks at the open menu, then closes it.
void CALLBACK inspect_open_menu(HWND, UINT, UINT_PTR id, DWORD) {
  const HWND menu = FindWindowW(L"#32768", nullptr);
  if (!menu || !IsWindowVisible(menu)) return;
  KillTimer(nullptr, id);
  GetWindowRect(menu, &menu_place);
  const HMENU h = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0));
  items = GetMenuItemCount(h);
  GetMenuStringW(h, 0, first, 32, MF_BYPOSITION);
  GetMenuStringW(h, 2, last, 32, MF_BYPOSITION);
  EndMenu();
}

TEST_F(WindowsDesktop, RightClickOpensTheMenuAtTheCursor) {
  start();
  at(1000ms, [&] {
    SetCursorPos(200, 300);
    SetTimer(nullptr, 0, 50, &inspect_open_menu);
    SendMessageW(desktop->tray().handle(), win32::TrayIcon::kCallbackMessage, win32::TrayIcon::kIconId, WM_RBUTTONUP);
    click(kIdPanel3, kIdBtnFinalizar);
  });
  run();
  EXPECT_EQ(items, 3);
  EXPECT_STREQ(first, L"Visualizar");
  EXPECT_STREQ(last, L"Finalizar");
  EXPECT_EQ(menu_place.left, 200);
  EXPECT_EQ(menu_place.top, 300);
}

TEST_F(WindowsDesktop, FailureOfTheCreationStepShowsTheErrorBoxWhileTimersRun) {
  host.file_dates.clear();
  BoxCloser closer;
  closer.caption = L"Kestrane DazevaVIZ Wardenix";
  // The box stays open until the start sequence, due at 30 s, has logged.
  // (The desktop is still being built: the window is found by its class.)
  closer.ready = [&] {
    const HWND window = FindWindowW(L"TfrmPrincipal", nullptr);
    const HWND log = GetDlgItem(GetDlgItem(window, kIdPanel3), kIdMmLog);
    return text_of(log).find(L": Iniciando Wardenix") != std::wstring::npos;
  };
  closer.start();
  start();  // returns once the box is closed
  EXPECT_EQ(closer.seen, 1);
  EXPECT_EQ(closer.text, L"Invalid argument to date encode");
  EXPECT_GE(clock.now(), 30000ms);
  EXPECT_EQ(text_of(main()), L"DazevaViz Wardenix");
  at(clock.now() + 1000ms, [&] { click(kIdPanel3, kIdBtnFinalizar); });
  run();
}

TEST_F(WindowsDesktop, BroadcastReceiverHooksTheMainWindowAndRegistersIt) {
  start();
  const std::string handle = std::to_string(reinterpret_cast<std::uintptr_t>(main()));
  EXPECT_EQ(library_calls(), "valid\nregister " + handle + " TfrmPrincipal\n");
  EXPECT_EQ(desktop->receiver()->ReceiverNum(), 7);
  EXPECT_EQ(SendMessageW(main(), RegisterWindowMessageW(L"wardenix"), 1, 2), 0);
  at(1000ms, [&] { click(kIdPanel3, kIdBtnFinalizar); });
  run();
  desktop->form().watchdogs().quit();
  desktop.reset();
  EXPECT_EQ(library_calls(), "valid\nregister " + handle + " TfrmPrincipal\nunregister " + handle + "\n");
}

TEST_F(WindowsDesktop, WithoutTheLibraryTheBoxShowsOnceAndSupervisionStarts) {
  FreeLibrary(library);
  library = nullptr;
  SetDllDirectoryW(nullptr);
  BoxCloser closer;
  closer.caption = L"Error";
  closer.start();
  start();
  EXPECT_EQ(closer.text, L"Could not load DLL \"DEZOZUDE.DLL\"");
  EXPECT_EQ(desktop->receiver()->ReceiverNum(), -1);
  // Virtual time ran on while the box was open.
  at(std::max(clock.now(), Millis(30000)) + 1000ms, [&] {
    EXPECT_FALSE(text_of(memo()).empty());
    click(kIdPanel3, kIdBtnFinalizar);
  });
  run();
  EXPECT_EQ(closer.seen, 1);
}

}  // namespace
}  // namespace wardenix::testing
