#include <windows.h>

#include <string>

#include "sysops/command_line.h"
#include "sysops/launch.h"

namespace wardenix {
namespace {

static_assert(sizeof(STARTUPINFOW) == 68 || sizeof(void*) != 4,
              "the start-up record has 68 bytes on 32-bit Windows");

constexpr DWORD kCreationFlags = CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS;  // 48
static_assert(kCreationFlags == 48);

std::wstring to_wide(UStringView text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

LaunchOutcome LaunchProgram(UStringView CommandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;

  const ProcessCreation plan = PlanProcessCreation(CommandLine);
  const std::wstring application = to_wide(plan.application);
  std::wstring command_line = to_wide(plan.command_line);  // the call may write into it
  PROCESS_INFORMATION created{};
  if (!::CreateProcessW(application.empty() ? nullptr : application.c_str(), command_line.data(),
                        nullptr, nullptr, FALSE, kCreationFlags, nullptr, nullptr, &startup,
                        &created)) {
    return {false, 0, static_cast<int>(::GetLastError())};
  }
  ::CloseHandle(created.hProcess);
  ::CloseHandle(created.hThread);
  return {true, static_cast<std::uint32_t>(created.dwProcessId), 0};
}

}  // namespace wardenix
