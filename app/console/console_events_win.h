#pragma once
// The console control handler that an InterruptWatch installs: tests call it
// as the system would, since no tool sends a close, logoff or shutdown event
// to a console program of theirs.
#include <windows.h>

namespace wardenix {

// Hands `event` to the watch that lives, and holds a close, logoff or
// shutdown until the watch is let go. FALSE, for the next handler, when no
// watch lives.
BOOL WINAPI on_console_event(DWORD event);

}  // namespace wardenix
