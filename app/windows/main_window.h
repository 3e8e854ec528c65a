#pragma once
// The main window `frmPrincipal` on Windows: the native controls over the
// window model, laid out as the layout table says, kept in step with the
// model, and the user's actions handed to it.
#include <windows.h>

#include "mainloop/loop_pacer.h"
#include "supervisor/principal_form.h"

namespace wardenix::win32 {

class MainWindow {
 public:
  // Creates the window and its controls, hidden.
  MainWindow(TfrmPrincipal& form, Application& application, LoopPacer& pacer);
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;
  ~MainWindow();

  HWND handle() const { return window_; }
  // Shows what the model holds now: caption, fields, status panels, buttons
  // and the window's state.
  void sync();
  // Destroys the native window (the model lives on until the program ends).
  void destroy();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK PanelProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
  LRESULT handle_message(UINT msg, WPARAM wparam, LPARAM lparam);
  void create_controls();
  void apply_state();
  void append_log_line(const UString& line);
  void use_real_log_metrics();
  HBRUSH colour_static(HWND control, HDC dc, HWND panel);

  TfrmPrincipal& form_;
  Application& application_;
  LoopPacer& pacer_;
  HWND window_ = nullptr;
  HWND panel2_ = nullptr;
  HWND panel3_ = nullptr;
  HWND ed_servidor_ = nullptr;
  HWND ed_porta_ = nullptr;
  HWND btn_inicio_ = nullptr;
  HWND mm_log_ = nullptr;
  HWND sts_ = nullptr;
  HFONT fonts_[4] = {};
  HBRUSH silver_ = nullptr;
  HBRUSH white_ = nullptr;
  WindowState shown_state_ = WindowState::Hidden;
  bool centred_ = false;
};

}  // namespace wardenix::win32
