// The forced termination of the server on Windows. The tool is named by its
// full path in the system directory: a search for "taskkill" would first look
// in this program's directory and in the current one, where any program of
// that name would be run in its place.
#include <windows.h>

#include <cstring>
#include <string>

#include "sysops/process_check.h"
#include "sysops/termination.h"
#include "sysops/termination_win.h"

namespace wardenix {

std::wstring SystemToolPath(const wchar_t* file_name) {
  std::wstring directory(MAX_PATH, L'\0');
  UINT length = ::GetSystemDirectoryW(directory.data(), static_cast<UINT>(directory.size()));
  if (length >= directory.size()) {  // the size it needs, its end included
    directory.resize(length);
    length = ::GetSystemDirectoryW(directory.data(), static_cast<UINT>(directory.size()));
  }
  if (length == 0 || length >= directory.size()) return {};
  directory.resize(length);
  if (directory.back() != L'\\') directory.push_back(L'\\');
  return directory + file_name;
}

bool StartSystemTool(const wchar_t* tool, const char* command_line) {
  const std::wstring application = SystemToolPath(tool);
  if (application.empty()) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  // The command lines are ASCII; the call may write into its copy.
  std::wstring line(command_line, command_line + std::strlen(command_line));
  // As WinExec starts a program: no creation flags (a console program shares
  // this program's console), its window hidden.
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION created{};
  if (!::CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &created)) {
    return false;
  }
  ::CloseHandle(created.hProcess);
  ::CloseHandle(created.hThread);
  return true;
}

TerminationReport ForceTerminateServer() {
  TerminationReport report;
  // Only for the report: the tool finds the processes itself.
  for (std::uint32_t pid : FindProcesses(kServerImageName)) report.targets.push_back({pid, true, 0});
  report.tool_started = StartSystemTool(kTaskEndingTool, kForcedTerminationCommand);
  if (!report.tool_started) {
    report.tool_error = static_cast<int>(::GetLastError());
    for (TerminationTarget& target : report.targets) target = {target.pid, false, report.tool_error};
  }
  return report;
}

}  // namespace wardenix
