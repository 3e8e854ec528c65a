#include <windows.h>
#include <tlhelp32.h>

#include "sysops/image_name.h"
#include "tests/trialserver/harness/trial_harness.h"

namespace wardenix::testing {
namespace {

HANDLE handle_of(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

std::wstring quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// Every live process as Tool Help lists it.
std::vector<PROCESSENTRY32W> process_list() {
  std::vector<PROCESSENTRY32W> list;
  const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return list;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
       more = ::Process32NextW(snapshot, &entry)) {
    list.push_back(entry);
  }
  ::CloseHandle(snapshot);
  return list;
}

UString name_of(const PROCESSENTRY32W& entry) {
  UString name;
  for (std::size_t i = 0; i < MAX_PATH && entry.szExeFile[i] != L'\0'; ++i) {
    name.push_back(static_cast<char16_t>(entry.szExeFile[i]));
  }
  return name;
}

}  // namespace

// The build tree's path as Wine's drive Z: shows it.
std::filesystem::path trial_server_path() {
  std::string path = WARDENIX_TRIAL_SERVER;
  if (!path.empty() && path.front() == '/') {
    for (char& c : path) c = c == '/' ? '\\' : c;
    path = "Z:" + path;
  }
  return std::filesystem::path(path);
}

bool end_processes_named(UStringView image_name, milliseconds timeout) {
  const auto find = [&] {
    std::vector<DWORD> found;
    for (const PROCESSENTRY32W& entry : process_list()) {
      if (ImageNameMatches(name_of(entry), image_name)) found.push_back(entry.th32ProcessID);
    }
    return found;
  };
  for (DWORD pid : find()) {
    if (const HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, pid)) {
      ::TerminateProcess(process, 1);
      ::CloseHandle(process);
    }
  }
  return wait_until([&] { return find().empty(); }, timeout);
}

// Counted by asking after every handle value in turn: the system's own count
// is not kept everywhere (Wine answers 0).
std::size_t open_handle_count() {
  constexpr std::uintptr_t kHighestHandle = 1u << 16;
  std::size_t count = 0;
  for (std::uintptr_t value = 4; value < kHighestHandle; value += 4) {
    DWORD flags = 0;
    count += ::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) != 0;
  }
  return count;
}

std::size_t child_process_count() {
  const DWORD self = ::GetCurrentProcessId();
  std::size_t count = 0;
  for (const PROCESSENTRY32W& entry : process_list()) count += entry.th32ParentProcessID == self;
  return count;
}

TrialProcess::TrialProcess(const std::filesystem::path& program,
                           const std::vector<std::string>& arguments) {
  const std::wstring application = program.wstring();
  std::wstring line = quoted(application);
  for (const std::string& argument : arguments) {
    line += L" " + quoted(std::filesystem::path(std::u8string(argument.begin(), argument.end())).wstring());
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION created{};
  // Without any console: none to be left behind when the test ends it early.
  if (::CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS,
                       nullptr, nullptr, &startup, &created)) {
    ::CloseHandle(created.hThread);
    handle_ = reinterpret_cast<std::intptr_t>(created.hProcess);
    pid_ = created.dwProcessId;
  }
}

TrialProcess::~TrialProcess() {
  if (handle_ == 0) return;
  if (exit_code_ < 0) {
    ::TerminateProcess(handle_of(handle_), 1);
    ::WaitForSingleObject(handle_of(handle_), 10000);
  }
  ::CloseHandle(handle_of(handle_));
}

int TrialProcess::wait_for_exit(milliseconds timeout) {
  if (handle_ == 0 || exit_code_ >= 0) return exit_code_;
  if (::WaitForSingleObject(handle_of(handle_), static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0) {
    DWORD code = 0;
    ::GetExitCodeProcess(handle_of(handle_), &code);
    exit_code_ = static_cast<int>(code);
  }
  return exit_code_;
}

}  // namespace wardenix::testing
