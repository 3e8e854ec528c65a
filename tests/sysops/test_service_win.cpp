// wardenix_test_service.exe: a minimal Windows service for the service state
// tests. Started by the service manager it reports running until it is told
// to stop; as a safety net it stops by itself after two minutes, so a test
// that died half-way leaves no service process behind for long.
#include <windows.h>

namespace {

constexpr DWORD kLifetimeLimitMs = 120000;

SERVICE_STATUS_HANDLE g_status_handle = nullptr;
HANDLE g_stop_requested = nullptr;

void report(DWORD state) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status.dwWin32ExitCode = NO_ERROR;
  status.dwWaitHint = (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) ? 5000 : 0;
  SetServiceStatus(g_status_handle, &status);
}

void WINAPI on_control(DWORD control) {
  if (control == SERVICE_CONTROL_STOP) {
    report(SERVICE_STOP_PENDING);
    SetEvent(g_stop_requested);
  }
}

void WINAPI service_main(DWORD argc, wchar_t** argv) {
  g_status_handle = RegisterServiceCtrlHandlerW(argc > 0 ? argv[0] : L"", on_control);
  if (g_status_handle == nullptr) return;
  report(SERVICE_START_PENDING);
  g_stop_requested = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (g_stop_requested == nullptr) {
    report(SERVICE_STOPPED);
    return;
  }
  report(SERVICE_RUNNING);
  WaitForSingleObject(g_stop_requested, kLifetimeLimitMs);
  CloseHandle(g_stop_requested);
  report(SERVICE_STOPPED);
}

}  // namespace

int main() {
  wchar_t own_process[] = L"";
  const SERVICE_TABLE_ENTRYW services[] = {{own_process, service_main}, {nullptr, nullptr}};
  // Fails at once when not started by the service manager.
  return StartServiceCtrlDispatcherW(services) ? 0 : 1;
}
