#pragma once
// The thread's Windows message loop, driving the program's event loop: a
// hidden window receives the pacer's wake messages and runs what is due.
#include <windows.h>

#include <functional>

#include "mainloop/loop_pacer.h"

namespace wardenix::win32 {

class MessageLoop {
 public:
  explicit MessageLoop(EventLoop& loop);
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;
  ~MessageLoop();

  LoopPacer& pacer() { return *pacer_; }
  // Runs until the event loop quits. Keyboard navigation (Tab, the buttons'
  // Alt+letter accelerators) is handled for `dialog_window`.
  void run(HWND dialog_window);

 private:
  static LRESULT CALLBACK WakeProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);

  HWND wake_window_ = nullptr;
  std::unique_ptr<LoopPacer> pacer_;
};

}  // namespace wardenix::win32
