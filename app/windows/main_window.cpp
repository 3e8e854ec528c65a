#include "app/windows/main_window.h"

#include <commctrl.h>

#include <map>

#include "app/common/main_window_layout.h"
#include "app/windows/control_ids.h"
#include "app/windows/win32_text.h"

namespace wardenix::win32 {
namespace {

constexpr wchar_t kFormClass[] = L"TfrmPrincipal";
constexpr wchar_t kPanelClass[] = L"TPanel";

HFONT make_font(layout::Font font) {
  const HDC screen = GetDC(nullptr);
  const int height = -MulDiv(layout::point_size(font), GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  return CreateFontW(height, 0, 0, 0, layout::bold(font) ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, wide(layout::kFontFace).c_str());
}

HWND make_control(const wchar_t* cls, UStringView text, DWORD style, DWORD ex_style, layout::Place p,
                  HWND parent, int id, HFONT font) {
  const HWND control = CreateWindowExW(ex_style, cls, wide(text).c_str(), WS_CHILD | WS_VISIBLE | style,
                                       p.left, p.top, p.width, p.height, parent,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                       GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

// A label sized to its text, as an auto-sized label is.
HWND make_label(UStringView text, layout::Place p, HWND parent, int id, HFONT font) {
  const HDC dc = GetDC(parent);
  const HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  const std::wstring w = wide(text);
  GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(parent, dc);
  return make_control(L"STATIC", text, SS_LEFT | SS_NOPREFIX, 0, {p.left, p.top, size.cx, size.cy},
                      parent, id, font);
}

void register_classes() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  INITCOMMONCONTROLSEX common{sizeof common, ICC_BAR_CLASSES};
  InitCommonControlsEx(&common);
  WNDCLASSW panel{};
  panel.lpfnWndProc = DefWindowProcW;  // replaced per window
  panel.hInstance = GetModuleHandleW(nullptr);
  panel.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  panel.lpszClassName = kPanelClass;
  RegisterClassW(&panel);
}

}  // namespace

MainWindow::MainWindow(TfrmPrincipal& form, Application& application, LoopPacer& pacer)
    : form_(form), application_(application), pacer_(pacer) {
  register_classes();
  silver_ = CreateSolidBrush(RGB(192, 192, 192));
  white_ = CreateSolidBrush(RGB(255, 255, 255));
  WNDCLASSW wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(kMainIcon));
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = silver_;
  wc.lpszClassName = kFormClass;
  RegisterClassW(&wc);

  // Fixed single border with a close box only.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  RECT frame{0, 0, layout::kClientWidth, layout::kClientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  window_ = CreateWindowExW(0, kFormClass, wide(form_.Caption).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                            frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                            wc.hInstance, this);
  for (int f = 0; f < 4; ++f) fonts_[f] = make_font(static_cast<layout::Font>(f));
  SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_[0]), FALSE);
  create_controls();

  form_.mmLog.on_added = [this](const UString& line) { append_log_line(line); };
  form_.mmLog.on_cleared = [this] { SetWindowTextW(mm_log_, L""); };
  for (const auto& line : form_.mmLog.Lines()) append_log_line(line);
  use_real_log_metrics();
  sync();
}

MainWindow::~MainWindow() {
  form_.mmLog.on_added = nullptr;
  form_.mmLog.on_cleared = nullptr;
  destroy();
  // The class holds this window's brush: the next window registers its own.
  UnregisterClassW(kFormClass, GetModuleHandleW(nullptr));
  for (HFONT f : fonts_) DeleteObject(f);
  DeleteObject(silver_);
  DeleteObject(white_);
}

void MainWindow::destroy() {
  if (window_ && IsWindow(window_)) DestroyWindow(window_);
  window_ = nullptr;
}

void MainWindow::create_controls() {
  using namespace layout;
  const auto font = [this](Font f) { return fonts_[static_cast<int>(f)]; };
  const auto panel = [&](Place p, int id) {
    const HWND h = make_control(kPanelClass, u"", WS_CLIPSIBLINGS, 0, p, window_, id, font(kWindowFont));
    SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PanelProc));
    return h;
  };
  panel2_ = panel(kPanel2, kIdPanel2);
  panel3_ = panel(kPanel3, kIdPanel3);

  make_label(kLabel1Text, kLabel1, panel2_, kIdLabel1, font(kLabelFont));
  make_label(kLabel3Text, kLabel3, panel2_, kIdLabel3, font(kLabelFont));
  const DWORD field = ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP;
  ed_servidor_ = make_control(L"EDIT", form_.edServidor.Text(), field, WS_EX_CLIENTEDGE, kEdServidor, panel2_,
                              kIdEdServidor, font(kFieldFont));
  ed_porta_ = make_control(L"EDIT", form_.edPorta.Text(), field, WS_EX_CLIENTEDGE, kEdPorta, panel2_,
                           kIdEdPorta, font(kFieldFont));

  btn_inicio_ = make_control(L"BUTTON", form_.btnInicio.caption, BS_PUSHBUTTON | WS_TABSTOP, 0, kBtnInicio,
                             panel3_, kIdBtnInicio, font(kBtnInicioFont));
  make_control(L"BUTTON", form_.btnFechar.caption, BS_PUSHBUTTON | WS_TABSTOP, 0, kBtnFechar, panel3_,
               kIdBtnFechar, font(kBtnFont));
  make_control(L"BUTTON", form_.btnFinalizar.caption, BS_PUSHBUTTON | WS_TABSTOP, 0, kBtnFinalizar, panel3_,
               kIdBtnFinalizar, font(kBtnFont));
  // Wrapped at its width: multi-line without horizontal scrolling or bars.
  mm_log_ = make_control(L"EDIT", u"", ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | WS_TABSTOP,
                         WS_EX_CLIENTEDGE, kMmLog, panel3_, kIdMmLog, font(kWindowFont));

  sts_ = make_control(STATUSCLASSNAMEW, u"", CCS_BOTTOM | CCS_NOPARENTALIGN | CCS_NORESIZE, 0, kStatusBar,
                      window_, kIdSts, font(kWindowFont));
  const int edges[2] = {kStatusPanelWidths[0], kStatusPanelWidths[0] + kStatusPanelWidths[1]};
  SendMessageW(sts_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(edges));
}

void MainWindow::sync() {
  if (!window_) return;
  SetWindowTextW(window_, wide(form_.Caption).c_str());
  SetWindowTextW(ed_servidor_, wide(form_.edServidor.Text()).c_str());
  SetWindowTextW(ed_porta_, wide(form_.edPorta.Text()).c_str());
  EnableWindow(btn_inicio_, form_.btnInicio.enabled);
  for (WPARAM i = 0; i < 2; ++i) {
    SendMessageW(sts_, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(wide(form_.sts[i].text).c_str()));
  }
  apply_state();
}

void MainWindow::apply_state() {
  const WindowState state = form_.State();
  if (state == shown_state_) return;
  shown_state_ = state;
  switch (state) {
    case WindowState::Hidden:
      ShowWindow(window_, SW_HIDE);
      break;
    case WindowState::Shown:
      if (!centred_) {
        // Centred on the screen the first time it shows.
        centred_ = true;
        RECT r;
        GetWindowRect(window_, &r);
        const int w = r.right - r.left;
        const int h = r.bottom - r.top;
        SetWindowPos(window_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                     (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
      ShowWindow(window_, IsIconic(window_) ? SW_RESTORE : SW_SHOW);
      SetForegroundWindow(window_);
      break;
    case WindowState::Background:
      // Minimised with the application, and its taskbar entry hidden.
      ShowWindow(window_, SW_MINIMIZE);
      ShowWindow(window_, SW_HIDE);
      break;
    case WindowState::Ended:
      ShowWindow(window_, SW_HIDE);
      break;
  }
}

void MainWindow::append_log_line(const UString& line) {
  const int length = GetWindowTextLengthW(mm_log_);
  SendMessageW(mm_log_, EM_SETSEL, static_cast<WPARAM>(length), length);
  const std::wstring text = (length > 0 ? L"\r\n" : L"") + wide(line);
  SendMessageW(mm_log_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void MainWindow::use_real_log_metrics() {
  // The log counts wrapped lines as this control shows them: its font's
  // advance widths and its formatting rectangle.
  auto widths = std::make_shared<std::map<char16_t, int>>();
  const HWND memo = mm_log_;
  const HFONT font = fonts_[static_cast<int>(layout::Font::Tahoma8)];
  TextMetrics metrics;
  metrics.char_width = [widths, memo, font](char16_t c) {
    const auto it = widths->find(c);
    if (it != widths->end()) return it->second;
    const HDC dc = GetDC(memo);
    const HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    const wchar_t w = static_cast<wchar_t>(c);
    GetTextExtentPoint32W(dc, &w, 1, &size);
    SelectObject(dc, old);
    ReleaseDC(memo, dc);
    (*widths)[c] = size.cx;
    return static_cast<int>(size.cx);
  };
  RECT r{};
  SendMessageW(memo, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&r));
  metrics.line_width = r.right - r.left;
  form_.mmLog.set_metrics(std::move(metrics));
}

HBRUSH MainWindow::colour_static(HWND control, HDC dc, HWND panel) {
  if (control == ed_servidor_ || control == ed_porta_) {
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return GetSysColorBrush(COLOR_BTNFACE);
  }
  if (control == mm_log_) {
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return GetSysColorBrush(COLOR_WINDOW);
  }
  // Labels take their panel's colour.
  SetBkMode(dc, TRANSPARENT);
  return panel == panel2_ ? white_ : GetSysColorBrush(COLOR_BTNFACE);
}

LRESULT CALLBACK MainWindow::PanelProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(window, &r);
      FillRect(reinterpret_cast<HDC>(wparam), &r,
               window == self->panel2_ ? self->white_ : GetSysColorBrush(COLOR_BTNFACE));
      return 1;
    }
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<LRESULT>(
          self->colour_static(reinterpret_cast<HWND>(lparam), reinterpret_cast<HDC>(wparam), window));
    case WM_COMMAND:
      return SendMessageW(self->window_, msg, wparam, lparam);
    default:
      return DefWindowProcW(window, msg, wparam, lparam);
  }
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self || !self->window_) return DefWindowProcW(window, msg, wparam, lparam);
  return self->handle_message(msg, wparam, lparam);
}

LRESULT MainWindow::handle_message(UINT msg, WPARAM wparam, LPARAM lparam) {
  // Every user action reaches the model as a window event: a failure that
  // escapes it goes to the application's error box.
  const auto event = [this](void (TfrmPrincipal::*action)()) {
    pacer_.run([&] { application_.HandleEvent([&] { (form_.*action)(); }); });
  };
  switch (msg) {
    case WM_CLOSE:
      event(&TfrmPrincipal::CloseBoxClick);
      return 0;
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED) {
        switch (LOWORD(wparam)) {
          case kIdBtnInicio: event(&TfrmPrincipal::user_clicks_btnInicio); return 0;
          case kIdBtnFechar: event(&TfrmPrincipal::btnFecharClick); return 0;
          case kIdBtnFinalizar: event(&TfrmPrincipal::btnFinalizarClick); return 0;
          default: break;
        }
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(window_, msg, wparam, lparam);
}

}  // namespace wardenix::win32
