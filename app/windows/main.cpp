// wardenix.exe: the watchdog as a desktop program that lives in the
// notification area.
#include <windows.h>

#include <shellapi.h>

#include <chrono>
#include <string>

#include "app/common/time_scale.h"
#include "app/windows/desktop.h"
#include "app/windows/event_log.h"
#include "datasnap/datasnap_driver.h"
#include "mainloop/clock.h"
#include "mainloop/event_loop.h"
#include "sysops/host_info.h"
#include "sysops/system_ops.h"

namespace {

constexpr char kHelp[] =
    "Usage: wardenix.exe [--time-scale N] [--help | --version]\r\n"
    "\r\n"
    "Supervises the application server \"DAZEVAVIZ.EXE\" beside this program from\r\n"
    "the notification area. Host and port come from rez.ini in this program's\r\n"
    "folder, read when the window is first shown (\"Visualizar\").\r\n"
    "\r\n"
    "The diagnostic stream, what each server check did and why, goes to the\r\n"
    "Windows Event Log (Application log, source \"Wardenix\", which the installer\r\n"
    "registers): information for the steps that went as they should and for each\r\n"
    "launch, a warning for a server that cannot be reached or fails its probe and\r\n"
    "for each kill and each decision to kill or start it, an error for a launch\r\n"
    "that failed, a started server that ended within 5 s and a kill that left a\r\n"
    "process running. The system's debug output gets the same lines.\r\n"
    "\r\n"
    "  --time-scale N  run every interval and sleep N times faster, N from 1 (real\r\n"
    "                  time) to 1000; for demos and tests only\r\n"
    "  --help          show this text\r\n"
    "  --version       show the program's version\r\n"
    "\r\n"
    "Exit status: 0; 2 for a --time-scale that is no number from 1 to 1000.\r\n";

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

struct Arguments {
  bool help = false;
  bool version = false;
  double time_scale = 1.0;
  std::string error;  // a --time-scale that cannot be used
};

// ASCII as it is, anything else as a character no number holds.
std::string narrow(std::wstring_view text) {
  std::string result;
  for (const wchar_t c : text) result += c < 0x80 ? static_cast<char>(c) : '?';
  return result;
}

// Arguments the program does not know are left alone, as they always were.
Arguments read_arguments() {
  Arguments read;
  int count = 0;
  LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  for (int i = 1; arguments && i < count; ++i) {
    const std::wstring_view argument = arguments[i];
    if (argument == L"--help" || argument == L"-h") {
      read.help = true;
    } else if (argument == L"--version") {
      read.version = true;
    } else if (argument == L"--time-scale" || argument.starts_with(L"--time-scale=")) {
      std::string value;
      if (argument != L"--time-scale") {
        value = narrow(argument.substr(sizeof "--time-scale=" - 1));
      } else if (i + 1 < count) {
        value = narrow(arguments[++i]);
      }
      if (const auto scale = wardenix::parse_time_scale(value)) {
        read.time_scale = *scale;
      } else {
        read.error = "--time-scale needs a number from 1 to 1000, not '" + value + "'";
      }
    }
  }
  if (arguments) ::LocalFree(arguments);
  return read;
}

}  // namespace

int main() {
  using namespace wardenix;
  const Arguments arguments = read_arguments();
  if (!arguments.error.empty()) {
    show_text("wardenix.exe: " + arguments.error + "\r\n\r\n" + kHelp);
    return 2;
  }
  if (arguments.help) {
    show_text(kHelp);
    return 0;
  }
  if (arguments.version) {
    std::string text = "wardenix.exe ";
    text.append(WARDENIX_VERSION_TEXT).append("\r\n");
    show_text(text);
    return 0;
  }
  const auto clock = make_system_clock(arguments.time_scale);
  EventLoop loop(*clock);
  Application application(loop);
  const auto ops = make_platform_system_ops();
  const auto host = make_platform_host_info();
  // Registered until every watchdog is gone.
  const win32::EventLogSource event_log(win32::kEventSource);
  {
    // The Event Log, where administrators look, and the system's debug
    // output, where a debugger or a debug-output viewer shows it; never in
    // the window's log.
    const DiagnosticSink diagnostics = [&event_log](DiagnosticSeverity severity,
                                                    const UString& line) {
      event_log.Report(severity, line);
      const UString text = line + u"\r\n";
      ::OutputDebugStringW(reinterpret_cast<const wchar_t*>(text.c_str()));
    };
    win32::Desktop desktop(
        application, {loop, application, *ops, *host, default_driver_registry(), diagnostics});
    desktop.run();
    // Sleeping watchdogs are woken and not waited for.
    desktop.form().watchdogs().quit();
  }
  // Woken watchdogs end at once; none is waited for longer than this.
  clock->wait_for_threads(
      std::chrono::milliseconds(static_cast<long long>(1000 * arguments.time_scale)));
  return 0;
}
