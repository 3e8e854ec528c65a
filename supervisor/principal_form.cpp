#include "supervisor/principal_form.h"

#include "runtime/errors.h"
#include "supervisor/ini_file.h"
#include "supervisor/server_probe.h"
#include "sysops/host_info.h"

namespace wardenix {

using namespace std::chrono_literals;

TfrmPrincipal::TfrmPrincipal(Services services)
    : tmIniciar(services.loop, 30000ms, true),
      tmFirebird(services.loop, 30000ms, false),
      tmServidor(services.loop, 40000ms, false),
      CnxServer(services.drivers),
      services_(services),
      gate_(std::make_shared<WatchdogGate>(services.loop.clock())),
      formats_(services.host.format_settings()),
      diagnostics_(services.loop, services.ops, formats_, services.diagnostics) {
  // A failure that escapes a timer handler goes to the error box, as any
  // other window event's would.
  const auto handler = [this](void (TfrmPrincipal::*method)()) {
    return [this, method] { services_.application.HandleEvent([&] { (this->*method)(); }); };
  };
  tmIniciar.set_on_timer(handler(&TfrmPrincipal::tmIniciarTimer));
  tmFirebird.set_on_timer(handler(&TfrmPrincipal::tmFirebirdTimer));
  tmServidor.set_on_timer(handler(&TfrmPrincipal::tmServidorTimer));
  TrayIcon1.hint = services.application.Title.substr(0, 127);

  configure_server_connection(CnxServer);
  CnxServer.BeforeConnect = [this] { CnxServerBeforeConnect(); };
  CnxServer.AfterConnect = [this] { CnxServerAfterConnect(); };
  link_answer_dataset(CnxServer, dssPrincipal, cdsGet_Data);
}

TfrmPrincipal::~TfrmPrincipal() { gate_->quit(); }

UString TfrmPrincipal::executable_directory() const {
  return directory_of(services_.host.executable_path());
}

void TfrmPrincipal::FormCreate() {
  assert_on_main_thread("TfrmPrincipal::FormCreate");
  const UString path = executable_directory() + u"varudedizerazidad.exe";
  const auto date = services_.host.file_date(path);
  // The not-found marker of the date lookup cannot be turned into a date.
  if (!date) throw EConvertError(u"Invalid argument to date encode");
  const TDateTime when = encode_date_time(*date);
  Caption = u"Wardenix - Atualizado dia " + date_time_to_string(when, formats_);
  changed();
  sts[1].text = u"Versão.: " + VersaoExecutavel();
  changed();
  cdsGet_Data.SetRemoteServer(&dssPrincipal);
}

UString TfrmPrincipal::VersaoExecutavel() {
  // Without version information the numbers are all zero.
  return services_.host.executable_version().value_or(u"0.0.0.0");
}

void TfrmPrincipal::FormShow() {
  assert_on_main_thread("TfrmPrincipal::FormShow");
  tmIniciar.set_enabled(true);
  const IniFile ini(executable_directory() + u"rez.ini");
  edServidor.SetText(ini.ReadString(u"REZ", u"IPDS", u"localhost"));
  edPorta.SetText(ini.ReadString(u"REZ", u"PORTADS", u"3063"));
  edProcesso.SetText(u"DAZEVAVIZ.EXE");
  edArquivo.SetText(executable_directory() + edProcesso.Text());
  changed();
}

void TfrmPrincipal::FormClose(CloseAction& action) {
  assert_on_main_thread("TfrmPrincipal::FormClose");
  if (Tag != kQuitRequested) {
    action = CloseAction::None;
    services_.application.Minimize();
    services_.application.SetTaskbarVisible(false);
    state_ = WindowState::Background;
  }
}

void TfrmPrincipal::Close() {
  assert_on_main_thread("TfrmPrincipal::Close");
  CloseAction action = CloseAction::Hide;
  FormClose(action);
  if (action == CloseAction::Hide) {
    // The main window closing ends the program; sleeping watchdogs are woken
    // so that none acts afterwards.
    state_ = WindowState::Ended;
    TrayIcon1.visible = false;
    gate_->quit();
    services_.application.Terminate();
  }
  changed();
}

void TfrmPrincipal::btnFecharClick() { Close(); }

void TfrmPrincipal::btnFinalizarClick() {
  assert_on_main_thread("TfrmPrincipal::btnFinalizarClick");
  Tag = kQuitRequested;
  Close();
}

void TfrmPrincipal::RequestQuit() {
  gate_->close();
  CnxServer.AbortBlockedCall();
  services_.loop.post([this] { btnFinalizarClick(); });
}

void TfrmPrincipal::Propriedades1Click() {
  assert_on_main_thread("TfrmPrincipal::Propriedades1Click");
  if (state_ == WindowState::Ended) return;
  services_.application.Restore();
  const bool first_showing = state_ == WindowState::Hidden;
  state_ = WindowState::Shown;
  changed();
  if (first_showing) FormShow();
}

void TfrmPrincipal::user_clicks_btnInicio() {
  assert_on_main_thread("TfrmPrincipal::user_clicks_btnInicio");
  if (btnInicio.enabled) btnInicioClick();
}

void TfrmPrincipal::Log(UStringView message) {
  assert_on_main_thread("TfrmPrincipal::Log");
  const TDateTime now = services_.loop.clock().local_time();
  mmLog.Add(format_date_time(u"hh:mm:ss", now, formats_) + UString(message));
}

void TfrmPrincipal::changed() {
  if (on_changed) on_changed();
}

}  // namespace wardenix
