#pragma once
// The desktop program on Linux with Qt: the main window over the window
// model, laid out as on Windows, the tray icon with its menu, the broadcast
// receiver on the window (X11 only) and Qt's event loop driving the
// supervision.
#include <QAbstractNativeEventFilter>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QWidget>
#include <memory>

#include "mainloop/loop_pacer.h"
#include "msgreceiver/msg_receiver.h"
#include "msgreceiver/receiver_platform_linux.h"
#include "supervisor/program.h"

namespace wardenix::qt {

class Desktop;

// The window `frmPrincipal`; its close box goes to the model.
class MainWindow : public QWidget {
 public:
  explicit MainWindow(Desktop& desktop);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  Desktop& desktop_;
};

class Desktop : public QObject, public QAbstractNativeEventFilter {
 public:
  // Where the desktop has no notification area the window is shown at start
  // ("Visualizar" runs by itself) and goes to the taskbar, minimised, where
  // it would otherwise be hidden, so that it can always be reached.
  Desktop(Application& application, TfrmPrincipal::Services services, bool tray_available);
  ~Desktop() override;

  // Qt's event loop, until the user quits with "&Finalizar".
  void run();

  TfrmPrincipal& form() { return *model_; }
  QWidget& window() { return *window_; }
  QSystemTrayIcon& tray() { return *tray_; }
  QMenu& menu() { return *menu_; }
  TMsgReceiver* receiver() { return receiver_.get(); }
  bool tray_available() const { return tray_available_; }

  // A window event: model code, with its failure going to the error box.
  void event(void (TfrmPrincipal::*action)());

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

 private:
  void build_window();
  void sync();
  void apply_state();
  void message_box(UStringView caption, UStringView text);
  void make_receiver();

  Application& application_;
  EventLoop& loop_;
  bool tray_available_;
  std::unique_ptr<LoopPacer> pacer_;
  std::unique_ptr<TfrmPrincipal> form_;
  TfrmPrincipal* model_ = nullptr;  // the form, also while it is being created
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<QMenu> menu_;
  std::unique_ptr<QSystemTrayIcon> tray_;
  QLineEdit* ed_servidor_ = nullptr;
  QLineEdit* ed_porta_ = nullptr;
  QPushButton* btn_inicio_ = nullptr;
  QPlainTextEdit* mm_log_ = nullptr;
  QLabel* sts_[2] = {};
  WindowState shown_state_ = WindowState::Hidden;
  bool centred_ = false;
  std::unique_ptr<ReceiverPlatform> receiver_platform_;
  X11ReceiverPlatform* x11_ = nullptr;
  ReceiverOwner receiver_owner_;
  std::unique_ptr<TMsgReceiver> receiver_;
};

}  // namespace wardenix::qt
