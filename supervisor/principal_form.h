#pragma once
// The main window: every component the program owns, the supervision cycle's
// handlers and the state the front ends show. It holds no toolkit code; a
// front end draws it and forwards the user's actions to it.
#include <functional>
#include <memory>

#include "datasnap/sql_connection.h"
#include "dataset/client_dataset.h"
#include "mainloop/event_loop.h"
#include "provider/provider_connection.h"
#include "runtime/datetime.h"
#include "supervisor/activity_log.h"
#include "supervisor/application.h"
#include "supervisor/diagnostics.h"
#include "supervisor/watchdog_actions.h"
#include "supervisor/watchdog_gate.h"
#include "supervisor/window_controls.h"

namespace wardenix {

class HostInfo;
class SystemOps;

enum class WindowState { Hidden, Shown, Background, Ended };
enum class CloseAction { None, Hide };

// Every member runs on the main thread, the one that runs the event loop
// (debug builds check the window events, handlers and the log), except where
// a member says otherwise. Watchdog threads reach the window only through
// WatchdogActions.
class TfrmPrincipal {
 public:
  // The value of the quit flag (the window's tag) that lets the window close.
  static constexpr int kQuitRequested = 20;

  struct Services {
    EventLoop& loop;
    Application& application;
    SystemOps& ops;
    HostInfo& host;
    const TDBXDriverRegistry& drivers;
    // Takes the diagnostic stream's lines; empty: no diagnostics.
    DiagnosticSink diagnostics;
  };

  // Creates the components in their initial state; FormCreate runs separately.
  explicit TfrmPrincipal(Services services);
  TfrmPrincipal(const TfrmPrincipal&) = delete;
  TfrmPrincipal& operator=(const TfrmPrincipal&) = delete;
  ~TfrmPrincipal();

  // Window events.
  void FormCreate();
  void FormShow();
  void FormClose(CloseAction& action);
  UString VersaoExecutavel();

  // User actions, as the front ends deliver them.
  void btnInicioClick();
  void btnFecharClick();
  void btnFinalizarClick();
  void Propriedades1Click();  // tray menu "Visualizar"
  void EncerrarServidor1Click() {}  // tray menu "Finalizar": no action
  // Any thread (Ctrl+C, a termination request): quits as "&Finalizar" does,
  // and at once even while the main thread is blocked: sleeps and blocked
  // connects or calls end, no watchdog acts any more, and the main thread
  // then closes the window.
  void RequestQuit();
  void CloseBoxClick() { Close(); }
  // "&Iniciar" as the user clicks it: only while the button is enabled.
  void user_clicks_btnInicio();

  // Timer handlers.
  void tmIniciarTimer();
  void tmFirebirdTimer();
  void tmServidorTimer();

  // The connection's handlers: where to connect, and the probe.
  void CnxServerBeforeConnect();
  void CnxServerAfterConnect();

  // The identifier of a running process of that image name, or 0.
  std::uint32_t VerificaProcesso(UStringView Nome);

  // Appends the current local time "hh:mm:ss" followed by `message`.
  void Log(UStringView message);

  WindowState State() const { return state_; }
  int Tag = 0;
  UString Caption = u"DazevaViz Wardenix";

  Timer tmIniciar;
  Timer tmFirebird;
  Timer tmServidor;
  TextField edServidor{u"localhost"};
  TextField edPorta{u"3063"};
  TextField edProcesso{u"DAZEVAVIZ.EXE", false};
  TextField edArquivo{u"C:\\KESTRANE\\REZ7\\DAZEVAVIZ.EXE", false};
  ActivityLog mmLog;
  Button btnInicio{u"&Iniciar"};
  Button btnFechar{u"&Segundo Plano"};
  Button btnFinalizar{u"&Finalizar"};
  StatusPanel sts[2] = {{u"Kestrane", 180}, {u"Versão", 100}};
  TrayIcon TrayIcon1;
  MenuItem PopupMenu1[3] = {
      {u"Propriedades1", u"Visualizar"}, {u"N1", u"-"}, {u"EncerrarServidor1", u"Finalizar"}};

  // Declared in this order so that they go in reverse: the dataset leaves
  // the link, the link frees its commands while the connection is still
  // there, and the connection disconnects last.
  TSQLConnection CnxServer;
  TDSProviderConnection dssPrincipal{u"dssPrincipal"};
  TClientDataSet cdsGet_Data{u"cdsGet_Data"};
  // The newest watchdog thread of each kind; main thread only.
  WatchdogRef TThread_Conexao;
  WatchdogRef TThread_Comando;

  // Shared with the watchdog threads; quitting wakes them and none acts after.
  WatchdogGate& watchdogs() { return *gate_; }
  // Called after any change of what the window shows.
  std::function<void()> on_changed;

 private:
  void Close();
  void changed();
  // Debug builds: ends the program unless called on the main thread.
  void assert_on_main_thread(const char* what) const { services_.loop.assert_on_loop_thread(what); }
  UString executable_directory() const;
  void start_watchdog(WatchdogThread::Kind kind);
  void start_responsiveness_watchdog();
  WatchdogActions watchdog_actions();
  // Runs `change` on the main thread; a failure there is swallowed.
  void on_main_thread(std::function<void()> change);
  UString server_address() const;  // "host:port" as the connection is told
  // The line of a step of the check that failed: `failure`, or, when quitting
  // aborted the step, that it ended by quitting while `step` waited.
  void report_failed_step(UStringView step, const UString& failure);

  Services services_;
  std::shared_ptr<WatchdogGate> gate_;
  std::uint64_t watchdog_serial_ = 0;
  WindowState state_ = WindowState::Hidden;
  bool shown_once_ = false;
  FormatSettings formats_;
  DiagnosticStream diagnostics_;
  bool probe_started_ = false;  // in the server check under way
};

}  // namespace wardenix
