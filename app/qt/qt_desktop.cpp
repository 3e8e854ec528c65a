#include "app/qt/qt_desktop.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>

#include <map>

#include "app/common/main_window_layout.h"

namespace wardenix::qt {
namespace {

QString q(UStringView text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QFont font_of(layout::Font f) {
  QFont font(QString::fromUtf16(layout::kFontFace));
  // Point sizes at 96 dpi, the resolution the layout's pixels are for,
  // rounded as Windows rounds them (8 pt: 11 pixels, 10 pt: 13).
  font.setPixelSize((layout::point_size(f) * 96 + 36) / 72);
  font.setBold(layout::bold(f));
  return font;
}

QColor colour_of(layout::Colour c) {
  switch (c) {
    case layout::Colour::Silver: return QColor(192, 192, 192);
    case layout::Colour::White: return QColor(255, 255, 255);
    case layout::Colour::ButtonFace: break;
  }
  return QColor(240, 240, 240);
}

void place(QWidget* w, layout::Place p) { w->setGeometry(p.left, p.top, p.width, p.height); }

template <typename W>
W* make(QWidget* parent, const char* name, layout::Place p) {
  auto* w = new W(parent);
  w->setObjectName(QString::fromLatin1(name));
  place(w, p);
  return w;
}

void paint(QWidget* w, layout::Colour c) {
  QPalette palette = w->palette();
  palette.setColor(QPalette::Window, colour_of(c));
  palette.setColor(QPalette::Base, palette.color(QPalette::Base));
  w->setAutoFillBackground(true);
  w->setPalette(palette);
}

}  // namespace

MainWindow::MainWindow(Desktop& desktop) : desktop_(desktop) {}

void MainWindow::closeEvent(QCloseEvent* event) {
  // The model decides: the close protocol refuses unless quitting was asked.
  event->ignore();
  desktop_.event(&TfrmPrincipal::CloseBoxClick);
}

Desktop::Desktop(Application& application, TfrmPrincipal::Services services, bool tray_available)
    : application_(application), loop_(services.loop), tray_available_(tray_available) {
  pacer_ = std::make_unique<LoopPacer>(
      loop_,
      [this] { QMetaObject::invokeMethod(this, [this] { pacer_->run_due(); }, Qt::QueuedConnection); },
      [] { QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection); });
  // Virtual time moves on only while Qt's loop waits for events.
  auto* dispatcher = QAbstractEventDispatcher::instance();
  connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] { pacer_->about_to_block(); });
  connect(dispatcher, &QAbstractEventDispatcher::awake, this, [this] { pacer_->awoken(); });
  application_.on_error_box = [this](const UString& caption, const UString& message) {
    message_box(caption, message);
  };
  form_ = create_main_window(application_, services, [this](TfrmPrincipal& form) {
    model_ = &form;
    build_window();
    form.on_changed = [this] { sync(); };
    make_receiver();
  });
  sync();
}

Desktop::~Desktop() {
  QObject::disconnect(QAbstractEventDispatcher::instance(), nullptr, this, nullptr);
  model_->on_changed = nullptr;
  model_->mmLog.on_added = nullptr;
  model_->mmLog.on_cleared = nullptr;
  if (x11_) QCoreApplication::instance()->removeNativeEventFilter(this);
  receiver_.reset();
  tray_.reset();
  window_.reset();
  pacer_.reset();
}

void Desktop::run() {
  // Without a notification area the window shows as the loop starts.
  if (!tray_available_) event(&TfrmPrincipal::Propriedades1Click);
  pacer_->arm();
  if (!loop_.quitting()) QApplication::exec();
}

void Desktop::event(void (TfrmPrincipal::*action)()) {
  pacer_->run([&] { application_.HandleEvent([&] { (model_->*action)(); }); });
}

void Desktop::build_window() {
  using namespace layout;
  window_ = std::make_unique<MainWindow>(*this);
  QWidget* w = window_.get();
  w->setObjectName(QStringLiteral("frmPrincipal"));
  // Fixed single border with a close box only.
  w->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                    Qt::MSWindowsFixedSizeDialogHint);
  w->setFixedSize(kClientWidth, kClientHeight);
  w->setFont(font_of(kWindowFont));
  paint(w, kWindowColour);
  w->setWindowIcon(QIcon(QStringLiteral(":/wardenix.ico")));

  auto* panel2 = make<QFrame>(w, "Panel2", kPanel2);
  paint(panel2, kPanel2Colour);
  auto* label1 = make<QLabel>(panel2, "Label1", kLabel1);
  auto* label3 = make<QLabel>(panel2, "Label3", kLabel3);
  for (auto [label, text] : {std::pair{label1, kLabel1Text}, std::pair{label3, kLabel3Text}}) {
    label->setText(q(text));
    label->setFont(font_of(kLabelFont));
    label->setMargin(0);
    label->adjustSize();
  }
  const auto field = [&](const char* name, Place p) {
    auto* e = make<QLineEdit>(panel2, name, p);
    e->setReadOnly(true);
    e->setFont(font_of(kFieldFont));
    QPalette palette = e->palette();
    palette.setColor(QPalette::Base, colour_of(Colour::ButtonFace));
    e->setPalette(palette);
    return e;
  };
  ed_servidor_ = field("edServidor", kEdServidor);
  ed_porta_ = field("edPorta", kEdPorta);

  auto* panel3 = make<QFrame>(w, "Panel3", kPanel3);
  paint(panel3, kPanel3Colour);
  const auto button = [&](const char* name, Place p, const Button& model, Font f,
                          void (TfrmPrincipal::*action)()) {
    auto* b = make<QPushButton>(panel3, name, p);
    b->setText(q(model.caption));
    b->setFont(font_of(f));
    QObject::connect(b, &QPushButton::clicked, this, [this, action] { event(action); });
    return b;
  };
  btn_inicio_ = button("btnInicio", kBtnInicio, model_->btnInicio, kBtnInicioFont, &TfrmPrincipal::user_clicks_btnInicio);
  button("btnFechar", kBtnFechar, model_->btnFechar, kBtnFont, &TfrmPrincipal::btnFecharClick);
  button("btnFinalizar", kBtnFinalizar, model_->btnFinalizar, kBtnFont, &TfrmPrincipal::btnFinalizarClick);

  mm_log_ = make<QPlainTextEdit>(panel3, "mmLog", kMmLog);
  mm_log_->setReadOnly(true);
  mm_log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  mm_log_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  mm_log_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  mm_log_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  mm_log_->setFont(font_of(kWindowFont));
  for (const auto& line : model_->mmLog.Lines()) mm_log_->appendPlainText(q(line));
  model_->mmLog.on_added = [this](const UString& line) { mm_log_->appendPlainText(q(line)); };
  model_->mmLog.on_cleared = [this] { mm_log_->clear(); };
  // The log counts wrapped lines as this control shows them.
  TextMetrics metrics;
  const QFontMetrics fm(mm_log_->font());
  metrics.char_width = [fm](char16_t c) { return fm.horizontalAdvance(QChar(c)); };
  metrics.line_width = mm_log_->viewport()->width() - 2 * static_cast<int>(mm_log_->document()->documentMargin());
  model_->mmLog.set_metrics(std::move(metrics));

  auto* sts = make<QFrame>(w, "sts", kStatusBar);
  paint(sts, kPanel3Colour);
  int left = 0;
  for (int i = 0; i < 2; ++i) {
    sts_[i] = make<QLabel>(sts, i == 0 ? "sts0" : "sts1", {left, 0, kStatusPanelWidths[static_cast<std::size_t>(i)], kStatusBar.height});
    sts_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    sts_[i]->setIndent(2);
    left += kStatusPanelWidths[static_cast<std::size_t>(i)];
  }

  menu_ = std::make_unique<QMenu>();
  for (const MenuItem& item : model_->PopupMenu1) {
    if (item.caption == u"-") {
      menu_->addSeparator();
      continue;
    }
    QAction* action = menu_->addAction(q(item.caption));
    action->setObjectName(q(item.name));
    const bool visualizar = item.name == u"Propriedades1";
    QObject::connect(action, &QAction::triggered, this, [this, visualizar] {
      event(visualizar ? &TfrmPrincipal::Propriedades1Click : &TfrmPrincipal::EncerrarServidor1Click);
    });
  }
  tray_ = std::make_unique<QSystemTrayIcon>(QIcon(QStringLiteral(":/wardenix.ico")));
  tray_->setToolTip(q(UStringView(model_->TrayIcon1.hint).substr(0, 127)));
  // A right click opens the menu at the cursor.
  tray_->setContextMenu(menu_.get());
}

void Desktop::sync() {
  window_->setWindowTitle(q(model_->Caption));
  ed_servidor_->setText(q(model_->edServidor.Text()));
  ed_porta_->setText(q(model_->edPorta.Text()));
  btn_inicio_->setEnabled(model_->btnInicio.enabled);
  for (int i = 0; i < 2; ++i) sts_[i]->setText(q(model_->sts[i].text));
  tray_->setVisible(model_->TrayIcon1.visible && tray_available_);
  apply_state();
}

void Desktop::apply_state() {
  const WindowState state = model_->State();
  if (state == shown_state_) return;
  shown_state_ = state;
  switch (state) {
    case WindowState::Hidden:
      window_->hide();
      break;
    case WindowState::Shown:
      if (!centred_) {
        centred_ = true;
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        window_->move(screen.center() - window_->rect().center());
      }
      window_->showNormal();
      window_->raise();
      window_->activateWindow();
      break;
    case WindowState::Background:
      window_->showMinimized();
      // Without a notification area the taskbar entry is the way back.
      if (tray_available_) window_->hide();
      break;
    case WindowState::Ended:
      window_->hide();
      break;
  }
}

void Desktop::message_box(UStringView caption, UStringView text) {
  pacer_->modal([&] {
    QMessageBox box(QMessageBox::Critical, q(caption), q(text), QMessageBox::Ok);
    box.exec();
  });
}

void Desktop::make_receiver() {
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11) return;  // no X11: no broadcast messages (see README)
  auto platform = make_x11_receiver_platform(
      x11->connection(), QCoreApplication::applicationDirPath().toStdString(),
      [this](UStringView caption, UStringView text) { message_box(caption, text); });
  x11_ = platform.get();
  receiver_platform_ = std::move(platform);
  QCoreApplication::instance()->installNativeEventFilter(this);
  receiver_owner_.ClassName = u"TfrmPrincipal";
  QWidget* w = window_.get();
  receiver_owner_.Handle = [w] { return static_cast<NativeWindow>(w->winId()); };
  receiver_ = std::make_unique<TMsgReceiver>(&receiver_owner_, *receiver_platform_);
  receiver_->SetIDString(u"wardenix");
  receiver_->OnException = [this](const std::exception& error) { application_.ShowException(error); };
}

bool Desktop::nativeEventFilter(const QByteArray& type, void* message, qintptr*) {
  if (!x11_ || type != "xcb_generic_event_t") return false;
  return x11_->filter(static_cast<const xcb_generic_event_t*>(message));
}

}  // namespace wardenix::qt
