// The service state query against the real service manager, with a service
// of our own (wardenix_test_service.exe, built beside this test) installed
// under a fresh name for each test and removed afterwards.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "sysops/service_state.h"

namespace wardenix {
namespace {

constexpr DWORD kStateChangeLimitMs = 30000;

std::wstring to_wide(UStringView text) { return std::wstring(text.begin(), text.end()); }
UString from_wide(std::wstring_view text) { return UString(text.begin(), text.end()); }

std::wstring own_directory() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring file(path, length);
  return file.substr(0, file.find_last_of(L"\\/") + 1);
}

// Unique across runs and across tests that run at the same time.
UString unique_service_name(std::string_view what) {
  static unsigned serial = 0;
  const std::string name = "WardenixTest" + std::string(what) + "_" +
                           std::to_string(GetCurrentProcessId()) + "_" +
                           std::to_string(GetTickCount64()) + "_" + std::to_string(++serial);
  return from_utf8(name);
}

UString local_computer_name() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  return GetComputerNameW(name, &size) ? from_wide(name) : UString();
}

bool running_under_wine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Installs wardenix_test_service.exe under a fresh name, demand-started and
// stopped; stops and deletes it again afterwards.
class InstalledTestService : public ::testing::Test {
 protected:
  void SetUp() override {
    manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE);
    ASSERT_NE(manager_, nullptr) << "OpenSCManagerW failed: " << GetLastError();
    name_ = unique_service_name("Service");
    const std::wstring name = to_wide(name_);
    const std::wstring command = L"\"" + own_directory() + L"wardenix_test_service.exe\"";
    service_ = CreateServiceW(manager_, name.c_str(), name.c_str(),
                              SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE,
                              SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                              command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(service_, nullptr) << "CreateServiceW failed: " << GetLastError();
  }

  void TearDown() override {
    if (service_ != nullptr) {
      EXPECT_TRUE(stop()) << "the test service did not stop";
      EXPECT_TRUE(DeleteService(service_)) << "DeleteService failed: " << GetLastError();
      CloseServiceHandle(service_);
    }
    if (manager_ != nullptr) CloseServiceHandle(manager_);
  }

  DWORD current_state() {
    SERVICE_STATUS status{};
    return QueryServiceStatus(service_, &status) ? status.dwCurrentState : 0;
  }

  bool wait_for_state(DWORD wanted) {
    const ULONGLONG limit = GetTickCount64() + kStateChangeLimitMs;
    while (current_state() != wanted) {
      if (GetTickCount64() > limit) return false;
      Sleep(20);
    }
    return true;
  }

  bool start() { return StartServiceW(service_, 0, nullptr) && wait_for_state(SERVICE_RUNNING); }

  bool stop() {
    if (current_state() == SERVICE_STOPPED) return true;
    SERVICE_STATUS status{};
    ControlService(service_, SERVICE_CONTROL_STOP, &status);
    return wait_for_state(SERVICE_STOPPED);
  }

  SC_HANDLE manager_ = nullptr;
  SC_HANDLE service_ = nullptr;
  UString name_;
};

TEST(QueryServiceStateWin, ServiceNotInstalledGivesMinusOne) {
  EXPECT_EQ(QueryServiceState(unique_service_name("Absent"), u""), -1);
  EXPECT_EQ(QueryServiceState(u"", u""), -1);
}

TEST_F(InstalledTestService, StoppedServiceGivesOne) {
  EXPECT_EQ(QueryServiceState(name_, u""), 1);
}

TEST_F(InstalledTestService, RunningServiceGivesFourAndOneOnceStoppedAgain) {
  ASSERT_TRUE(start()) << "the test service did not reach the running state";
  EXPECT_EQ(QueryServiceState(name_, u""), 4);
  ASSERT_TRUE(stop()) << "the test service did not stop";
  EXPECT_EQ(QueryServiceState(name_, u""), 1);
}

TEST_F(InstalledTestService, LocalComputerNameReachesTheLocalManager) {
  const UString computer = local_computer_name();
  ASSERT_FALSE(computer.empty());
  EXPECT_EQ(QueryServiceState(name_, computer), 1);
  EXPECT_EQ(QueryServiceState(name_, u"\\\\" + computer), 1);
}

TEST_F(InstalledTestService, ZeroInsideANameNeverSelectsAnotherOne) {
  // Cut at the zero, either name would name something that exists.
  EXPECT_EQ(QueryServiceState(name_ + UString(1, u'\0') + u"x", u""), -1);
  const UString machine = local_computer_name() + UString(1, u'\0') + u"x";
  EXPECT_EQ(QueryServiceState(name_, machine), -2);
}

TEST(QueryServiceStateWin, MachineWithoutReachableServiceManagerGivesMinusTwo) {
  if (running_under_wine()) {
    GTEST_SKIP() << "Wine asks its local service manager whatever machine is named";
  }
  const UString unreachable = u"\\\\wardenix-no-such-host.invalid";
  EXPECT_EQ(QueryServiceState(u"FirebirdServerDefaultInstance", unreachable), -2);
}

}  // namespace
}  // namespace wardenix
