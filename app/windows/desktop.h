#pragma once
// The desktop program on Windows put together: the window model with its
// native window, the tray icon, the broadcast receiver on the window, and
// the message loop that drives the supervision.
#include <memory>

#include "app/windows/main_window.h"
#include "app/windows/message_loop.h"
#include "app/windows/tray_icon.h"
#include "msgreceiver/msg_receiver.h"
#include "supervisor/program.h"

namespace wardenix::win32 {

class Desktop {
 public:
  // Runs the program entry up to the message loop: the title, the hidden
  // main window with its components, the creation step.
  Desktop(Application& application, TfrmPrincipal::Services services);
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;
  ~Desktop();

  // The message loop, until the user quits with "&Finalizar".
  void run();

  TfrmPrincipal& form() { return *form_; }
  MainWindow& window() { return *window_; }
  TrayIcon& tray() { return *tray_; }
  TMsgReceiver* receiver() { return receiver_.get(); }
  LoopPacer& pacer() { return loop_.pacer(); }

 private:
  // A modal message box during which the supervision goes on.
  void message_box(UStringView caption, UStringView text);

  Application& application_;
  MessageLoop loop_;
  std::unique_ptr<ReceiverPlatform> receiver_platform_;
  std::unique_ptr<TfrmPrincipal> form_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<TrayIcon> tray_;
  ReceiverOwner receiver_owner_;
  std::unique_ptr<TMsgReceiver> receiver_;
};

}  // namespace wardenix::win32
