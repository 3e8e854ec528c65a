#pragma once
// For the programs that drive wardenix.exe in tests and screenshots: polls
// until `found` holds, `seconds` at most; whether it did.
#include <windows.h>

template <typename Found>
bool wait_for(Found found, int seconds) {
  for (int i = 0; i < seconds * 20; ++i) {
    if (found()) return true;
    Sleep(50);
  }
  return false;
}
