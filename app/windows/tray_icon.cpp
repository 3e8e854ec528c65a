#include <windows.h>

#include <shellapi.h>

#include "app/windows/tray_icon.h"
#include "app/windows/control_ids.h"
#include "app/windows/win32_text.h"

namespace wardenix::win32 {
namespace {

constexpr wchar_t kTrayClass[] = L"WardenixTrayIcon";

}  // namespace

TrayIcon::TrayIcon(TfrmPrincipal& form, Application& application, LoopPacer& pacer)
    : form_(form), application_(application), pacer_(pacer) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kTrayClass;
  RegisterClassW(&wc);
  // A hidden top-level window: the menu needs one that can take the foreground.
  window_ = CreateWindowExW(WS_EX_TOOLWINDOW, kTrayClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                            wc.hInstance, nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  icon_ = static_cast<HICON>(LoadImageW(wc.hInstance, MAKEINTRESOURCEW(kMainIcon), IMAGE_ICON,
                                        GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  if (!icon_) icon_ = LoadIconW(nullptr, IDI_APPLICATION);
  taskbar_created_ = RegisterWindowMessageW(L"TaskbarCreated");

  menu_ = CreatePopupMenu();
  for (const MenuItem& item : form_.PopupMenu1) {
    if (item.caption == u"-") {
      AppendMenuW(menu_, MF_SEPARATOR, 0, nullptr);
    } else {
      const UINT id = item.name == u"Propriedades1" ? kPropriedades1 : kEncerrarServidor1;
      AppendMenuW(menu_, MF_STRING, id, wide(item.caption).c_str());
    }
  }
  sync();
}

TrayIcon::~TrayIcon() {
  if (shown_) {
    NOTIFYICONDATAW data = icon_data();
    Shell_NotifyIconW(NIM_DELETE, &data);
  }
  DestroyMenu(menu_);
  DestroyWindow(window_);
}

NOTIFYICONDATAW TrayIcon::icon_data() const {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = window_;
  data.uID = kIconId;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kCallbackMessage;
  data.hIcon = icon_;
  // The tooltip holds at most 127 characters.
  const std::wstring tip = wide(UStringView(form_.TrayIcon1.hint).substr(0, 127));
  tip.copy(data.szTip, tip.size());
  return data;
}

void TrayIcon::sync() {
  const bool wanted = form_.TrayIcon1.visible;
  if (wanted == shown_) return;
  NOTIFYICONDATAW data = icon_data();
  if (wanted) {
    shown_ = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
  } else {
    Shell_NotifyIconW(NIM_DELETE, &data);
    shown_ = false;
  }
}

void TrayIcon::show_menu() {
  POINT at{};
  GetCursorPos(&at);
  // Without the foreground the menu would not close when the user clicks elsewhere.
  SetForegroundWindow(window_);
  TrackPopupMenu(menu_, TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
  PostMessageW(window_, WM_NULL, 0, 0);
}

LRESULT CALLBACK TrayIcon::WindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<TrayIcon*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, msg, wparam, lparam);
  if (msg == kCallbackMessage) {
    if (LOWORD(lparam) == WM_RBUTTONUP) self->show_menu();
    return 0;
  }
  if (msg == WM_COMMAND) {
    const auto event = [self](void (TfrmPrincipal::*action)()) {
      self->pacer_.run([&] { self->application_.HandleEvent([&] { (self->form_.*action)(); }); });
    };
    if (LOWORD(wparam) == kPropriedades1) event(&TfrmPrincipal::Propriedades1Click);
    if (LOWORD(wparam) == kEncerrarServidor1) event(&TfrmPrincipal::EncerrarServidor1Click);
    return 0;
  }
  if (msg == self->taskbar_created_ && self->taskbar_created_ != 0) {
    // The shell restarted: the icon is put back.
    self->shown_ = false;
    self->sync();
    return 0;
  }
  return DefWindowProcW(window, msg, wparam, lparam);
}

}  // namespace wardenix::win32
