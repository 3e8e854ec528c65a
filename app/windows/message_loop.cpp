#include "app/windows/message_loop.h"

namespace wardenix::win32 {
namespace {

constexpr UINT kWakeMessage = WM_APP + 0x100;
constexpr wchar_t kWakeClass[] = L"WardenixLoopWake";

}  // namespace

MessageLoop::MessageLoop(EventLoop& loop) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = WakeProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kWakeClass;
  RegisterClassW(&wc);
  wake_window_ = CreateWindowExW(0, kWakeClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 wc.hInstance, nullptr);
  SetWindowLongPtrW(wake_window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  const HWND target = wake_window_;
  pacer_ = std::make_unique<LoopPacer>(
      loop, [target] { PostMessageW(target, kWakeMessage, 0, 0); }, [] { PostQuitMessage(0); });
}

MessageLoop::~MessageLoop() {
  pacer_.reset();  // no wake is posted after this
  DestroyWindow(wake_window_);
}

void MessageLoop::run(HWND dialog_window) {
  pacer_->arm();
  MSG msg;
  for (;;) {
    // Virtual time moves on only while this loop waits for messages.
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) pacer_->about_to_block();
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    pacer_->awoken();
    if (got <= 0) break;
    if (dialog_window && IsWindowVisible(dialog_window) && IsDialogMessageW(dialog_window, &msg)) {
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

LRESULT CALLBACK MessageLoop::WakeProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == kWakeMessage) {
    auto* self = reinterpret_cast<MessageLoop*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && self->pacer_) self->pacer_->run_due();
    return 0;
  }
  return DefWindowProcW(window, msg, wparam, lparam);
}

}  // namespace wardenix::win32
