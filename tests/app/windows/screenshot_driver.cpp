// screenshot-driver.exe PROGRAM SHOTS: starts wardenix.exe and shows what a
// user meets, one sight at a time, for scripts/screenshots.sh. For each
// sight NAME it writes SHOTS\NAME.ready with the place worth keeping
// ("x y width height"), then waits for SHOTS\NAME.done, written once the
// screen is taken. The sights, in order:
//   library-error  the broadcast receiver's box when DEZOZUDE.DLL is not
//                  beside the program (only then), answered with OK;
//   tray-menu      the tray icon's menu, opened as a right click opens it;
//   window         the main window after "Visualizar".
// Then it quits the program with "&Finalizar".
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/windows/control_ids.h"
#include "tests/app/windows/wait_for.h"

namespace {

// The tray icon's window and the message it gets for clicks on the icon.
constexpr wchar_t kTrayClass[] = L"WardenixTrayIcon";
constexpr UINT kTrayCallback = WM_APP + 1;

class Shots {
 public:
  explicit Shots(std::wstring folder) : folder_(std::move(folder)) {}

  // Hands the sight to the script and waits until it has taken it.
  bool take(const wchar_t* name, const RECT& keep) const {
    const std::wstring ready = folder_ + L"\\" + name + L".ready";
    const std::wstring done = folder_ + L"\\" + name + L".done";
    FILE* file = _wfopen(ready.c_str(), L"w");
    if (!file) return false;
    std::fprintf(file, "%ld %ld %ld %ld\n", keep.left, keep.top, keep.right - keep.left,
                 keep.bottom - keep.top);
    std::fclose(file);
    return wait_for([&] { return GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, 120);
  }

 private:
  std::wstring folder_;
};

RECT screen() {
  return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

BOOL CALLBACK find_error_box(HWND window, LPARAM found) {
  wchar_t caption[16] = {};
  wchar_t kind[16] = {};
  GetWindowTextW(window, caption, 16);
  GetClassNameW(window, kind, 16);
  if (IsWindowVisible(window) && std::wstring(caption) == L"Error" && std::wstring(kind) == L"#32770") {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

// The box the broadcast receiver shows when it cannot load its library.
HWND library_error_box(DWORD process) {
  HWND box = nullptr;
  EnumWindows(find_error_box, reinterpret_cast<LPARAM>(&box));
  DWORD owner = 0;
  if (box) GetWindowThreadProcessId(box, &owner);
  return owner == process ? box : nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  using namespace wardenix::win32;
  if (argc != 3) {
    std::fputs("usage: screenshot-driver PROGRAM SHOTS\n", stderr);
    return 2;
  }
  const Shots shots(argv[2]);
  const std::wstring program(argv[1]);
  std::wstring command = L"\"" + program + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::fputs("cannot start the program\n", stderr);
    return 1;
  }

  const std::wstring folder = program.substr(0, program.find_last_of(L"\\/") + 1);
  if (GetFileAttributesW((folder + L"DEZOZUDE.DLL").c_str()) == INVALID_FILE_ATTRIBUTES) {
    HWND box = nullptr;
    if (!wait_for([&] { return (box = library_error_box(process.dwProcessId)) != nullptr; }, 60)) {
      std::fputs("no box for the missing library\n", stderr);
      return 1;
    }
    Sleep(1000);  // let it paint
    RECT r;
    GetWindowRect(box, &r);
    if (!shots.take(L"library-error", r)) return 1;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }

  HWND tray = nullptr;
  if (!wait_for([&] { return (tray = FindWindowW(kTrayClass, nullptr)) != nullptr; }, 60)) return 1;
  // The menu opens where the pointer is: on the icon, in the corner of the
  // taskbar's notification area.
  const RECT whole = screen();
  SetCursorPos(whole.right - 12, whole.bottom - 10);
  Sleep(500);
  PostMessageW(tray, kTrayCallback, 0, WM_RBUTTONUP);
  HWND menu = nullptr;
  if (wait_for([&] {
        menu = FindWindowW(L"#32768", nullptr);
        return menu && IsWindowVisible(menu);
      }, 30)) {
    Sleep(1000);
    RECT r;
    GetWindowRect(menu, &r);
    // The menu, the notification area below it and the tooltip beside it.
    r.left = std::min<LONG>(r.left, whole.right - 260);
    r.right = whole.right;
    r.bottom = whole.bottom;
    if (!shots.take(L"tray-menu", r)) return 1;
    PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    wait_for([&] { return !IsWindowVisible(menu); }, 10);
  } else {
    std::fputs("the tray menu did not open\n", stderr);
  }

  PostMessageW(tray, WM_COMMAND, kPropriedades1, 0);
  HWND window = nullptr;
  if (!wait_for([&] {
        window = FindWindowW(L"TfrmPrincipal", nullptr);
        return window && IsWindowVisible(window);
      }, 30)) {
    return 1;
  }
  Sleep(1500);  // let it paint
  RECT r;
  GetWindowRect(window, &r);
  shots.take(L"window", r);
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(kIdBtnFinalizar, BN_CLICKED), 0);
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}
