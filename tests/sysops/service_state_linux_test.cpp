// The service state query against a real message bus: a private dbus-daemon
// per test, with the service manager stand-in of demo/ serving the units.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "sysops/service_state.h"

extern char** environ;

namespace wardenix {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto kStartLimit = 10s;

// A child process that is ended (and reaped) with its owner.
class Child {
 public:
  explicit Child(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() { stop(); }

  bool started() const { return pid_ > 0; }

  bool running() {
    if (pid_ <= 0) return false;
    if (waitpid(pid_, &status_, WNOHANG) == 0) return true;
    pid_ = -1;
    return false;
  }

  // True once the process has ended by returning 0 from main.
  bool ended_cleanly() const {
    return pid_ <= 0 && WIFEXITED(status_) && WEXITSTATUS(status_) == 0;
  }

  // SIGTERM, then SIGKILL if it has not ended within two seconds.
  void stop() {
    if (!running()) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 200 && running(); ++i) std::this_thread::sleep_for(10ms);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status_, 0);
      pid_ = -1;
    }
  }

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

// Asks the bus at `address` whether `name` has an owner; nullopt when the
// bus does not answer.
std::optional<bool> name_has_owner(const std::string& address, const char* name) {
  sd_bus* bus = nullptr;
  if (sd_bus_new(&bus) < 0) return std::nullopt;
  std::optional<bool> result;
  sd_bus_error error{};  // all empty, as SD_BUS_ERROR_NULL
  sd_bus_message* reply = nullptr;
  int owned = 0;
  if (sd_bus_set_address(bus, address.c_str()) >= 0 && sd_bus_set_bus_client(bus, 1) >= 0 &&
      sd_bus_set_method_call_timeout(bus, 1'000'000) >= 0 && sd_bus_start(bus) >= 0 &&
      sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s", name) >= 0 &&
      sd_bus_message_read(reply, "b", &owned) > 0) {
    result = owned != 0;
  }
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  sd_bus_close_unref(bus);
  return result;
}

// Polls until `name` is owned on the bus, `child` has ended or the start
// limit has passed.
bool wait_for_name(const std::string& address, const char* name, Child& child) {
  const auto limit = std::chrono::steady_clock::now() + kStartLimit;
  while (std::chrono::steady_clock::now() < limit) {
    if (name_has_owner(address, name) == true) return true;
    if (!child.running()) return false;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

// True while `pid` exists and is not a zombie (processes that are not our
// children may wait a while for whoever reaps them).
bool process_runs(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const auto end_of_name = line.rfind(')');
  return end_of_name != std::string::npos && end_of_name + 2 < line.size() &&
         line[end_of_name + 2] != 'Z';
}

// A private system bus in a temporary directory, made the process's system
// bus through DBUS_SYSTEM_BUS_ADDRESS for the test's lifetime.
class PrivateSystemBus : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/wardenix-svc-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    address_ = "unix:path=" + (dir_ / "system_bus_socket").string();
    ASSERT_EQ(setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1), 0);
  }

  void TearDown() override {
    if (fs::exists(demo_dir() / "dbus-daemon.pid")) {
      const std::string stop = demo_script() + " stop " + demo_dir().string();
      EXPECT_EQ(std::system(stop.c_str()), 0);
    }
    if (standin_) {
      // Told to stop, the stand-in ends by itself and cleanly (sanitizer
      // builds would report their findings in its exit status).
      standin_->stop();
      EXPECT_TRUE(standin_->ended_cleanly()) << "the stand-in did not end cleanly";
    }
    standin_.reset();
    daemon_.reset();
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  void start_bus() {
    daemon_ = std::make_unique<Child>(std::vector<std::string>{
        "dbus-daemon", "--config-file=" WARDENIX_DEMO_DIR "/private-bus.conf",
        "--address=" + address_, "--nofork", "--nopidfile"});
    ASSERT_TRUE(daemon_->started()) << "dbus-daemon cannot be started";
    ASSERT_TRUE(wait_for_name(address_, "org.freedesktop.DBus", *daemon_))
        << "the private bus did not come up";
  }

  // Starts the stand-in with `arguments` and waits until it owns its name.
  void start_manager(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), WARDENIX_SVCMGR_STANDIN);
    standin_ = std::make_unique<Child>(arguments);
    ASSERT_TRUE(standin_->started());
    ASSERT_TRUE(wait_for_name(address_, "org.freedesktop.systemd1", *standin_))
        << "the service manager stand-in did not come up";
  }

  void start_manager_with(const std::vector<std::string>& units) {
    std::vector<std::string> arguments;
    for (const auto& unit : units) {
      arguments.push_back("--unit");
      arguments.push_back(unit);
    }
    start_manager(arguments);
  }

  fs::path demo_dir() const { return dir_ / "demo"; }
  static std::string demo_script() { return WARDENIX_DEMO_DIR "/private-bus.sh"; }

  fs::path dir_;
  std::string address_;
  std::unique_ptr<Child> daemon_;
  std::unique_ptr<Child> standin_;
};

TEST_F(PrivateSystemBus, NoBusMeansTheManagerCannotBeOpened) {
  // The address names a socket nobody listens on.
  EXPECT_EQ(QueryServiceState(u"FirebirdServerDefaultInstance", u""), -2);
}

TEST_F(PrivateSystemBus, BusWithoutServiceManagerMeansTheManagerCannotBeOpened) {
  ASSERT_NO_FATAL_FAILURE(start_bus());
  EXPECT_EQ(QueryServiceState(u"FirebirdServerDefaultInstance", u""), -2);
}

TEST_F(PrivateSystemBus, ServiceManagerThatStoppedMeansTheManagerCannotBeOpened) {
  ASSERT_NO_FATAL_FAILURE(start_bus());
  ASSERT_NO_FATAL_FAILURE(start_manager_with({"FirebirdServerDefaultInstance.service=active"}));
  ASSERT_EQ(QueryServiceState(u"FirebirdServerDefaultInstance", u""), 4);
  standin_->stop();
  EXPECT_EQ(QueryServiceState(u"FirebirdServerDefaultInstance", u""), -2);
}

TEST_F(PrivateSystemBus, ActiveStatesMapToServiceStates) {
  struct Case {
    const char* unit_state;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"active", 4},           {"reloading", 4},        {"refreshing", 4},
      {"inactive", 1},         {"failed", 1},           {"maintenance", 1},
      {"activating", 2},       {"deactivating", 3},     {"active/running", 4},
      {"active/frozen", 7},    {"active/freezing", 6},  {"active/thawing", 5},
      {"reloading/frozen", 7}, {"inactive/frozen", 1},  {"active/unheard-of", 4},
      {"unheard-of", 0},
  };
  std::vector<std::string> units;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    units.push_back("Svc" + std::to_string(i) + ".service=" + cases[i].unit_state);
  }
  ASSERT_NO_FATAL_FAILURE(start_bus());
  ASSERT_NO_FATAL_FAILURE(start_manager_with(units));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const UString name = u"Svc" + to_ustring(static_cast<std::int64_t>(i));
    EXPECT_EQ(QueryServiceState(name, u""), cases[i].expected) << cases[i].unit_state;
  }
}

TEST_F(PrivateSystemBus, ServicesThatCannotBeOpened) {
  ASSERT_NO_FATAL_FAILURE(start_bus());
  ASSERT_NO_FATAL_FAILURE(start_manager_with({"Denied.service=denied",
                                              "Unknown.service=no-such-unit",
                                              "FirebirdServerDefaultInstance.service=active"}));
  struct Case {
    UStringView service;
    const char* why;
  };
  const Case cases[] = {
      {u"FirebirdServerFirebird_21_Kestrane", "loads as not-found"},
      {u"Unknown", "NoSuchUnit"},
      {u"Denied", "access denied"},
      {u"FirebirdServerDefaultInstance.service", "the unit asked is N.service.service"},
      {UStringView(u"FirebirdServerDefaultInstance\0x", 31), "a zero inside the name"},
      {u"", "empty name"},
  };
  for (const auto& c : cases) EXPECT_EQ(QueryServiceState(c.service, u""), -1) << c.why;
}

TEST_F(PrivateSystemBus, UnreadableUnitStateGivesZero) {
  ASSERT_NO_FATAL_FAILURE(start_bus());
  ASSERT_NO_FATAL_FAILURE(start_manager_with({"FirebirdServerDefaultInstance.service=unreadable"}));
  EXPECT_EQ(QueryServiceState(u"FirebirdServerDefaultInstance", u""), 0);
}

TEST_F(PrivateSystemBus, HungBusGivesUpWithinTheQueryBudget) {
  // A socket that accepts connections into its backlog but never answers.
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_un where{};
  where.sun_family = AF_UNIX;
  const std::string path = (dir_ / "system_bus_socket").string();
  ASSERT_LT(path.size(), sizeof where.sun_path);
  std::copy(path.begin(), path.end(), where.sun_path);
  ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&where), sizeof where), 0);
  ASSERT_EQ(listen(listener, 4), 0);

  const auto began = std::chrono::steady_clock::now();
  EXPECT_EQ(QueryServiceState(u"FirebirdServerDefaultInstance", u""), -2);
  EXPECT_LT(std::chrono::steady_clock::now() - began, 20s);
  close(listener);
}

TEST_F(PrivateSystemBus, HungServiceManagerGivesUpWithinTheQueryBudget) {
  ASSERT_NO_FATAL_FAILURE(start_bus());
  ASSERT_NO_FATAL_FAILURE(
      start_manager({"--hang", "--unit", "FirebirdServerDefaultInstance.service=active"}));
  // Without a bound of its own the call would wait out the bus's default of
  // 25 s and then give the same -2; the query's own bound is 5 s.
  const auto began = std::chrono::steady_clock::now();
  EXPECT_EQ(QueryServiceState(u"FirebirdServerDefaultInstance", u""), -2);
  EXPECT_LT(std::chrono::steady_clock::now() - began, 20s);
}

TEST_F(PrivateSystemBus, OnlyThisComputersNamesReachTheLocalManager) {
  ASSERT_NO_FATAL_FAILURE(start_bus());
  ASSERT_NO_FATAL_FAILURE(start_manager_with({"FirebirdServerDefaultInstance.service=active"}));
  char host[256] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  const UString host_name = from_utf8(host);
  for (const UString& machine :
       {UString(), host_name, ascii_upper(host_name), u"\\\\" + host_name, UString(u"localhost")}) {
    EXPECT_EQ(QueryServiceState(u"FirebirdServerDefaultInstance", machine), 4) << to_utf8(machine);
  }
  for (const UString& machine :
       {u"other-" + host_name, UString(u"\\\\"), UString(u"db-server.invalid")}) {
    EXPECT_EQ(QueryServiceState(u"FirebirdServerDefaultInstance", machine), -2) << to_utf8(machine);
  }
}

// The demo's script: starts bus and stand-in, reports the address, stops both.
TEST_F(PrivateSystemBus, DemoScriptStartsAndStopsThePrivateBus) {
  const fs::path run = demo_dir();
  const std::string script = demo_script();
  const std::string start = script + " start " + run.string() + " --standin " +
                            WARDENIX_SVCMGR_STANDIN + " 2>&1";
  std::string output;
  if (FILE* pipe = popen(start.c_str(), "r")) {
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    EXPECT_EQ(pclose(pipe), 0) << output;
  }
  const std::string address = "unix:path=" + (run / "system_bus_socket").string();
  EXPECT_EQ(output, "export DBUS_SYSTEM_BUS_ADDRESS=" + address + "\n");

  ASSERT_EQ(setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1), 0);
  EXPECT_EQ(QueryServiceState(u"FirebirdServerDefaultInstance", u""), 4);
  EXPECT_EQ(QueryServiceState(u"FirebirdServerFirebird_21_Kestrane", u""), -1);

  std::vector<pid_t> pids;
  for (const char* file : {"standin.pid", "dbus-daemon.pid"}) {
    std::ifstream in(run / file);
    pid_t pid = 0;
    if (in >> pid) pids.push_back(pid);
  }
  EXPECT_EQ(pids.size(), 2u);

  const std::string stop = script + " stop " + run.string();
  EXPECT_EQ(std::system(stop.c_str()), 0);
  EXPECT_FALSE(fs::exists(run / "standin.pid"));
  EXPECT_FALSE(fs::exists(run / "dbus-daemon.pid"));
  for (const pid_t pid : pids) EXPECT_FALSE(process_runs(pid)) << "process " << pid;
  EXPECT_EQ(QueryServiceState(u"FirebirdServerDefaultInstance", u""), -2);
}

}  // namespace
}  // namespace wardenix
