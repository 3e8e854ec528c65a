// event-log-driver.exe STAGE SCALE CONTROL: runs wardenix.exe of the folder
// STAGE as an administrator's machine would, for tests/app/windows/
// event_log_e2e.sh, in a Wine prefix of the test's own:
//   - a port held by this program, bound but never listening, written to
//     STAGE\rez.ini: every connect of the watchdog is refused, and no other
//     program can take the port meanwhile;
//   - the database service "FirebirdServerDefaultInstance" running (the test
//     service STAGE\wardenix_test_service.exe under that name);
//   - wardenix.exe --time-scale SCALE, shown once through "Visualizar" from
//     its tray menu as the user would, so that it reads rez.ini and starts
//     supervising;
// ends every DAZEVAVIZ.EXE, as a kill would, each time a file CONTROL\end-N
// appears (N = 1, 2, ...), and, once CONTROL\done appears, quits wardenix.exe
// with "&Finalizar" and removes the service. Exit status 0 when every step
// went as it should.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <string>

#include "app/windows/control_ids.h"
#include "tests/app/windows/wait_for.h"

namespace {

constexpr wchar_t kDatabaseService[] = L"FirebirdServerDefaultInstance";

int fail(const char* what) {
  std::printf("event-log-driver: %s (error %lu)\n", what, GetLastError());
  std::fflush(stdout);
  return 1;
}

// A loopback port bound to `held`, or 0.
unsigned short hold_port(SOCKET& held) {
  held = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (held == INVALID_SOCKET) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof address;
  if (bind(held, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      getsockname(held, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    return 0;
  }
  return ntohs(address.sin_port);
}

bool write_file(const std::wstring& path, const std::string& text) {
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (!file) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Ends every process named DAZEVAVIZ.EXE of this prefix.
void end_servers() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (_wcsicmp(entry.szExeFile, L"DAZEVAVIZ.EXE") != 0) continue;
    if (const HANDLE server = OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID)) {
      TerminateProcess(server, 1);
      CloseHandle(server);
    }
  }
  CloseHandle(snapshot);
}

DWORD service_state(SC_HANDLE service) {
  SERVICE_STATUS status{};
  return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  using namespace wardenix::win32;
  if (argc != 4) {
    std::fputs("usage: event-log-driver STAGE SCALE CONTROL\n", stderr);
    return 2;
  }
  const std::wstring stage = std::wstring(argv[1]) + L"\\";
  const std::wstring control = std::wstring(argv[3]) + L"\\";

  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return fail("no sockets");
  SOCKET held = INVALID_SOCKET;
  const unsigned short port = hold_port(held);
  if (port == 0) return fail("cannot hold a port");
  if (!write_file(stage + L"rez.ini",
                  "[REZ]\r\nIPDS=127.0.0.1\r\nPORTADS=" + std::to_string(port) + "\r\n")) {
    return fail("cannot write rez.ini");
  }
  std::printf("event-log-driver: the watchdog connects to port %u\n", port);

  const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE);
  if (!manager) return fail("no service manager");
  const std::wstring service_program = L"\"" + stage + L"wardenix_test_service.exe\"";
  const SC_HANDLE service = CreateServiceW(
      manager, kDatabaseService, kDatabaseService, SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE,
      SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, service_program.c_str(),
      nullptr, nullptr, nullptr, nullptr, nullptr);
  if (!service) return fail("cannot create the database service");
  if (!StartServiceW(service, 0, nullptr) ||
      !wait_for([&] { return service_state(service) == SERVICE_RUNNING; }, 30)) {
    return fail("the database service does not run");
  }

  std::wstring command = L"\"" + stage + L"wardenix.exe\" --time-scale " + argv[2];
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, stage.c_str(),
                      &startup, &process)) {
    return fail("cannot start wardenix.exe");
  }
  int status = 0;
  HWND tray = nullptr;
  HWND window = nullptr;
  if (!wait_for([&] { return (tray = FindWindowW(L"WardenixTrayIcon", nullptr)) != nullptr; }, 60)) {
    status = fail("wardenix.exe shows no tray icon");
  } else {
    PostMessageW(tray, WM_COMMAND, kPropriedades1, 0);
    if (!wait_for([&] {
          window = FindWindowW(L"TfrmPrincipal", nullptr);
          return window && IsWindowVisible(window);
        }, 30)) {
      status = fail("wardenix.exe shows no window");
    } else {
      std::printf("event-log-driver: wardenix.exe supervises\n");
      std::fflush(stdout);
      // The test decides when it has seen enough; this bound only keeps a
      // test that died from leaving the program running for long.
      int ended = 0;
      wait_for([&] {
        if (exists(control + L"end-" + std::to_wstring(ended + 1))) {
          end_servers();
          ++ended;
        }
        return exists(control + L"done");
      }, 600);
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(kIdBtnFinalizar, BN_CLICKED), 0);
    }
  }
  if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
    status = fail("wardenix.exe did not quit");
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  SERVICE_STATUS stopped{};
  ControlService(service, SERVICE_CONTROL_STOP, &stopped);
  wait_for([&] { return service_state(service) == SERVICE_STOPPED; }, 30);
  DeleteService(service);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  closesocket(held);
  WSACleanup();
  return status;
}
