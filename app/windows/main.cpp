// wardenix.exe: the watchdog as a desktop program that lives in the
// notification area.
#include <windows.h>

#include <shellapi.h>

#include <chrono>
#include <string>

#include "app/windows/desktop.h"
#include "datasnap/datasnap_driver.h"
#include "mainloop/clock.h"
#include "mainloop/event_loop.h"
#include "sysops/host_info.h"
#include "sysops/system_ops.h"

namespace {

constexpr char kHelp[] =
    "Usage: wardenix.exe [--help | --version]\r\n"
    "\r\n"
    "Supervises the application server \"DAZEVAVIZ.EXE\" beside this program from\r\n"
    "the notification area. Host and port come from rez.ini in this program's\r\n"
    "folder, read when the window is first shown (\"Visualizar\"). The system's\r\n"
    "debug output gets the diagnostic stream: what each server check did and why.\r\n"
    "\r\n"
    "  --help     show this text\r\n"
    "  --version  show the program's version\r\n"
    "\r\n"
    "Exit status: 0.\r\n";

// A program without a console of its own shows text on the standard output
// it was given (a pipe or a file), else in the console of the program that
// started it, else in a message box.
void show_text(const std::string& text) {
  const HANDLE given = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (given && given != INVALID_HANDLE_VALUE && ::GetFileType(given) != FILE_TYPE_UNKNOWN) {
    DWORD written = 0;
    ::WriteFile(given, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  const std::wstring wide(text.begin(), text.end());  // the texts are ASCII
  if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
    const HANDLE console = ::CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, 0, nullptr);
    if (console != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      ::WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
      ::CloseHandle(console);
      return;
    }
  }
  ::MessageBoxW(nullptr, wide.c_str(), L"Wardenix", MB_OK | MB_ICONINFORMATION);
}

// The one argument that the program reads, or empty.
std::wstring lone_argument() {
  int count = 0;
  LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::wstring lone = arguments && count == 2 ? arguments[1] : L"";
  if (arguments) ::LocalFree(arguments);
  return lone;
}

}  // namespace

int main() {
  using namespace wardenix;
  const std::wstring argument = lone_argument();
  if (argument == L"--help" || argument == L"-h") {
    show_text(kHelp);
    return 0;
  }
  if (argument == L"--version") {
    std::string text = "wardenix.exe ";
    text.append(WARDENIX_VERSION_TEXT).append("\r\n");
    show_text(text);
    return 0;
  }
  const auto clock = make_system_clock();
  EventLoop loop(*clock);
  Application application(loop);
  const auto ops = make_platform_system_ops();
  const auto host = make_platform_host_info();
  {
    // The system's debug output, where a debugger or a debug-output viewer
    // shows it; never in the window's log.
    const DiagnosticSink diagnostics = [](DiagnosticSeverity, const UString& line) {
      const UString text = line + u"\r\n";
      ::OutputDebugStringW(reinterpret_cast<const wchar_t*>(text.c_str()));
    };
    win32::Desktop desktop(
        application, {loop, application, *ops, *host, default_driver_registry(), diagnostics});
    desktop.run();
    // Sleeping watchdogs are woken and not waited for.
    desktop.form().watchdogs().quit();
  }
  clock->wait_for_threads(std::chrono::milliseconds(1000));
  return 0;
}
