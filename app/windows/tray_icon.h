#pragma once
// The notification-area icon `TrayIcon1` with its popup menu `PopupMenu1`:
// the program icon, the application title as its tooltip, and a right click
// that opens the menu at the cursor.
#include <windows.h>

#include <shellapi.h>

#include "mainloop/loop_pacer.h"
#include "supervisor/principal_form.h"

namespace wardenix::win32 {

class TrayIcon {
 public:
  TrayIcon(TfrmPrincipal& form, Application& application, LoopPacer& pacer);
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;
  ~TrayIcon();

  // Adds or removes the icon as the model's `TrayIcon1.visible` says.
  void sync();
  bool shown() const { return shown_; }
  // The window that owns the icon and the menu, and the icon's identifier.
  HWND handle() const { return window_; }
  static constexpr UINT kIconId = 1;
  static constexpr UINT kCallbackMessage = WM_APP + 1;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
  NOTIFYICONDATAW icon_data() const;
  void show_menu();

  TfrmPrincipal& form_;
  Application& application_;
  LoopPacer& pacer_;
  HWND window_ = nullptr;
  HMENU menu_ = nullptr;
  HICON icon_ = nullptr;
  UINT taskbar_created_ = 0;
  bool shown_ = false;
};

}  // namespace wardenix::win32
