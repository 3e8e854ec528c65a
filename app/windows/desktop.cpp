#include "app/windows/desktop.h"

#include "app/windows/win32_text.h"
#include "msgreceiver/receiver_platform_win.h"

namespace wardenix::win32 {

Desktop::Desktop(Application& application, TfrmPrincipal::Services services)
    : application_(application), loop_(services.loop) {
  application_.on_error_box = [this](const UString& caption, const UString& message) {
    message_box(caption, message);
  };
  receiver_platform_ = make_win32_receiver_platform(
      [this](UStringView caption, UStringView text) { message_box(caption, text); });

  form_ = create_main_window(application_, services, [this](TfrmPrincipal& form) {
    window_ = std::make_unique<MainWindow>(form, application_, loop_.pacer());
    tray_ = std::make_unique<TrayIcon>(form, application_, loop_.pacer());
    form.on_changed = [this] {
      window_->sync();
      tray_->sync();
    };
    receiver_owner_.ClassName = u"TfrmPrincipal";
    const HWND handle = window_->handle();
    receiver_owner_.Handle = [handle] { return reinterpret_cast<NativeWindow>(handle); };
    receiver_ = std::make_unique<TMsgReceiver>(&receiver_owner_, *receiver_platform_);
    receiver_->SetIDString(u"wardenix");
    receiver_->OnException = [this](const std::exception& error) { application_.ShowException(error); };
  });
}

Desktop::~Desktop() {
  // As when a form is destroyed: its window first (the receiver unhooks on
  // WM_DESTROY), then its components.
  form_->on_changed = nullptr;
  window_->destroy();
  receiver_.reset();
  tray_.reset();
  window_.reset();
}

void Desktop::run() { loop_.run(window_->handle()); }

void Desktop::message_box(UStringView caption, UStringView text) {
  const HWND owner = IsWindowVisible(window_ ? window_->handle() : nullptr) ? window_->handle() : nullptr;
  loop_.pacer().modal([&] {
    MessageBoxW(owner, wide(text).c_str(), wide(caption).c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
  });
}

}  // namespace wardenix::win32
