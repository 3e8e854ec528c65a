// The service state from the Windows service control manager.
#include <windows.h>

#include <string>

#include "sysops/service_state.h"

namespace wardenix {
namespace {

// Owns one handle of the service control manager.
class ServiceHandle {
 public:
  explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  ~ServiceHandle() {
    if (handle_ != nullptr) CloseServiceHandle(handle_);
  }
  SC_HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  SC_HANDLE handle_;
};

std::wstring to_wide(UStringView text) { return std::wstring(text.begin(), text.end()); }

std::wstring local_computer_name() {
  wchar_t name[256] = {};
  DWORD capacity = 256;
  // On failure the name stays empty, which the service manager also takes as
  // the local computer.
  GetComputerNameW(name, &capacity);
  return std::wstring(name);
}

}  // namespace

std::int32_t QueryServiceState(UStringView ServiceName, UStringView MachineName) {
  // The system calls read names up to the first zero character; a name with
  // a zero inside would silently ask for a different machine or service.
  constexpr char16_t kZero = u'\0';
  if (MachineName.find(kZero) != UStringView::npos) return -2;

  const std::wstring machine = MachineName.empty() ? local_computer_name() : to_wide(MachineName);
  const ServiceHandle manager(OpenSCManagerW(machine.c_str(), nullptr, SC_MANAGER_CONNECT));
  if (!manager) return -2;

  if (ServiceName.find(kZero) != UStringView::npos) return -1;
  const std::wstring service_name = to_wide(ServiceName);
  const ServiceHandle service(
      OpenServiceW(manager.get(), service_name.c_str(), SERVICE_QUERY_STATUS));
  if (!service) return -1;

  SERVICE_STATUS status{};
  if (!QueryServiceStatus(service.get(), &status)) return 0;
  return static_cast<std::int32_t>(status.dwCurrentState);
}

}  // namespace wardenix
