#include <windows.h>

#include "app/console/interrupts.h"

namespace wardenix {
namespace {

std::function<void()>& interrupt_handler() {
  static std::function<void()> handler;
  return handler;
}

BOOL WINAPI on_console_event(DWORD) {
  // The system calls this on a thread of its own.
  if (interrupt_handler()) interrupt_handler()();
  return TRUE;
}

}  // namespace

void watch_for_interrupts(std::function<void()> on_interrupt) {
  interrupt_handler() = std::move(on_interrupt);
  SetConsoleCtrlHandler(on_console_event, TRUE);
}

}  // namespace wardenix
