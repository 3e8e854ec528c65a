#include <windows.h>
#include <tlhelp32.h>

#include "sysops/process_check.h"
#include "sysops/process_list.h"

namespace wardenix {
namespace {

static_assert(sizeof(PROCESSENTRY32W) == 556 || sizeof(void*) != 4,
              "the process entry record has 556 bytes on 32-bit Windows");

using CreateSnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using ProcessWalkFn = BOOL(WINAPI*)(HANDLE, LPPROCESSENTRY32W);

struct ToolHelp {
  CreateSnapshotFn create_snapshot = nullptr;
  ProcessWalkFn first = nullptr;
  ProcessWalkFn next = nullptr;
};

template <typename Fn>
Fn lookup(HMODULE module, const char* name) {
  // Through the generic function type, which the compiler accepts as a
  // stand-in for any other.
  using Generic = void (*)();
  return reinterpret_cast<Fn>(reinterpret_cast<Generic>(::GetProcAddress(module, name)));
}

// Looked up once, at the first check; all stay null where they are missing.
const ToolHelp& tool_help() {
  static const ToolHelp functions = [] {
    ToolHelp found;
    if (const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll")) {
      found.create_snapshot = lookup<CreateSnapshotFn>(kernel, "CreateToolhelp32Snapshot");
      found.first = lookup<ProcessWalkFn>(kernel, "Process32FirstW");
      found.next = lookup<ProcessWalkFn>(kernel, "Process32NextW");
    }
    if (!found.create_snapshot || !found.first || !found.next) found = ToolHelp{};
    return found;
  }();
  return functions;
}

class Snapshot {
 public:
  explicit Snapshot(HANDLE handle) : handle_(handle) {}
  ~Snapshot() {
    if (valid()) ::CloseHandle(handle_);
  }
  Snapshot(const Snapshot&) = delete;
  Snapshot& operator=(const Snapshot&) = delete;
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

UString entry_name(const PROCESSENTRY32W& entry) {
  std::size_t length = 0;
  while (length < MAX_PATH && entry.szExeFile[length] != L'\0') ++length;
  UString name(length, u'\0');
  for (std::size_t i = 0; i < length; ++i) name[i] = static_cast<char16_t>(entry.szExeFile[i]);
  return name;
}

}  // namespace

void ForEachProcessImage(const std::function<bool(std::uint32_t pid, UStringView image_name)>& visit) {
  const ToolHelp& api = tool_help();
  if (!api.create_snapshot) return;
  const Snapshot snapshot(api.create_snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) return;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = api.first(snapshot.get(), &entry); more; more = api.next(snapshot.get(), &entry)) {
    if (!visit(entry.th32ProcessID, entry_name(entry))) return;
  }
}

bool ProcessRunning(std::uint32_t pid) {
  const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
  // A pid that names no process is refused as an invalid parameter; any
  // other refusal means a process this program may not look at.
  if (!process) return ::GetLastError() != ERROR_INVALID_PARAMETER;
  const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  ::CloseHandle(process);
  return running;
}

}  // namespace wardenix
