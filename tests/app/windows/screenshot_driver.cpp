// screenshot-driver.exe PROGRAM READY DONE: starts wardenix.exe, chooses
// "Visualizar" from its tray menu as the user would, writes the window's
// place ("x y width height") to READY once it shows, waits for DONE to
// appear, then quits the program with "&Finalizar". Used by
// scripts/screenshots.sh.
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/windows/control_ids.h"

namespace {

template <typename Found>
bool wait_for(Found found, int seconds) {
  for (int i = 0; i < seconds * 20; ++i) {
    if (found()) return true;
    Sleep(50);
  }
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  using namespace wardenix::win32;
  if (argc != 4) {
    std::fputs("usage: screenshot-driver PROGRAM READY DONE\n", stderr);
    return 2;
  }
  std::wstring command = std::wstring(L"\"") + argv[1] + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    std::fputs("cannot start the program\n", stderr);
    return 1;
  }
  HWND tray = nullptr;
  HWND window = nullptr;
  if (!wait_for([&] { return (tray = FindWindowW(L"WardenixTrayIcon", nullptr)) != nullptr; }, 60)) return 1;
  PostMessageW(tray, WM_COMMAND, kPropriedades1, 0);
  if (!wait_for([&] {
        window = FindWindowW(L"TfrmPrincipal", nullptr);
        return window && IsWindowVisible(window);
      }, 30)) {
    return 1;
  }
  Sleep(1500);  // let it paint
  RECT r;
  GetWindowRect(window, &r);
  if (FILE* ready = _wfopen(argv[2], L"w")) {
    std::fprintf(ready, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    std::fclose(ready);
  }
  wait_for([&] { return GetFileAttributesW(argv[3]) != INVALID_FILE_ATTRIBUTES; }, 120);
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(kIdBtnFinalizar, BN_CLICKED), 0);
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}
