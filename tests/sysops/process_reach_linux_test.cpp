// The process operations at the edges of this process's reach: servers that
// the forced termination may not end, and launches by a process to which
// every orphan comes back (process 1 of a PID namespace, a child subreaper)
// or one started without standard streams (as some service managers and
// containers start it).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sysops/launch.h"
#include "sysops/process_check.h"
#include "sysops/process_table_linux.h"
#include "sysops/termination.h"
#include "tests/trialserver/harness/private_processes.h"
#include "tests/trialserver/harness/trial_harness.h"

namespace wardenix {
namespace {

using namespace std::chrono_literals;
using testing::TempDir;
using testing::TrialProcess;
namespace fs = std::filesystem;

constexpr UStringView kServer = u"DAZEVAVIZ.EXE";
constexpr uid_t kOtherUser = 65534;
// Every process the tests start ends by itself at the latest after this.
const std::vector<std::string> kSafety = {"--exit-after", "120"};
// Exit code of a child that finds the system refuses what the test needs.
constexpr int kRefused = 77;

std::vector<std::string> with_safety(std::vector<std::string> arguments) {
  arguments.insert(arguments.end(), kSafety.begin(), kSafety.end());
  return arguments;
}

bool runs(UStringView image_name) { return VerificaProcesso(image_name) != 0; }

// The state /proc shows for `pid`, none once it is gone.
std::optional<char> state_of(std::uint32_t pid) {
  std::optional<char> state;
  ForEachProcess(false, [&](const ProcessEntry& entry) {
    if (entry.link.pid == pid) state = entry.state;
    return entry.link.pid != pid;
  });
  return state;
}

// Gone, or ended and not yet collected by its parent.
bool ended(std::uint32_t pid) {
  const std::optional<char> state = state_of(pid);
  return !state || *state == 'Z' || *state == 'X';
}

// Runs `body` in a child process and gives its exit code, or -1 when it did
// not end within `limit` (it is killed then). The child writes what went
// wrong to standard error, which shows in the test's output.
int exit_code_in_child(const std::function<int()>& body, std::chrono::milliseconds limit) {
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    const int code = body();
    std::fflush(nullptr);
    ::_exit(code);
  }
  if (child < 0) return -2;
  int status = 0;
  const bool done =
      testing::wait_until([&] { return ::waitpid(child, &status, WNOHANG) == child; }, limit);
  if (!done) {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Switches this process to another user, who may signal none of the test's.
bool become_other_user() {
  return ::setgroups(0, nullptr) == 0 && ::setresgid(kOtherUser, kOtherUser, kOtherUser) == 0 &&
         ::setresuid(kOtherUser, kOtherUser, kOtherUser) == 0;
}

// From here on this process may stop others but not kill them, as a
// security policy may have it: kill(..., SIGKILL) fails with EPERM.
bool refuse_kill_signals() {
#if defined(__x86_64__)
  constexpr std::uint32_t kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
  constexpr std::uint32_t kArch = AUDIT_ARCH_AARCH64;
#else
  return false;
#endif
  constexpr std::uint32_t kSignalArgument = offsetof(seccomp_data, args) + sizeof(std::uint64_t);
  const auto statement = [](std::uint16_t code, std::uint32_t k) {
    return sock_filter{code, 0, 0, k};
  };
  const auto jump = [](std::uint16_t code, std::uint32_t k, std::uint8_t yes, std::uint8_t no) {
    return sock_filter{code, yes, no, k};
  };
  constexpr std::uint16_t kLoad = BPF_LD | BPF_W | BPF_ABS;
  constexpr std::uint16_t kIfEqual = BPF_JMP | BPF_JEQ | BPF_K;
  constexpr std::uint16_t kReturn = BPF_RET | BPF_K;
  sock_filter filter[] = {
      statement(kLoad, offsetof(seccomp_data, arch)),
      jump(kIfEqual, kArch, 1, 0),
      statement(kReturn, SECCOMP_RET_ALLOW),
      statement(kLoad, offsetof(seccomp_data, nr)),
      jump(kIfEqual, SYS_kill, 0, 3),
      statement(kLoad, kSignalArgument),  // its low half on a little-endian machine
      jump(kIfEqual, SIGKILL, 0, 1),
      statement(kReturn, SECCOMP_RET_ERRNO | EPERM),
      statement(kReturn, SECCOMP_RET_ALLOW),
  };
  const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
  return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

int exit_code_of(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -2;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// In process 1 of a new PID namespace: a /proc of that namespace, in a mount
// namespace of its own.
bool mount_own_proc() {
  return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
         ::mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) == 0;
}

// Runs `body` as process 1 of a new PID namespace and gives its exit code;
// everything left in the namespace ends with it.
int run_as_process_1(const std::function<int()>& body) {
  if (::unshare(CLONE_NEWPID | CLONE_NEWNS) != 0) return kRefused;
  const pid_t first = ::fork();
  if (first == 0) {
    const int code = mount_own_proc() ? body() : kRefused;
    std::fflush(nullptr);
    ::_exit(code);
  }
  return first < 0 ? kRefused : exit_code_of(first);
}

// Runs in the test run's own process list (private_processes.h), where it
// finds and ends nothing but what its tests start; ends whatever the test
// started when it is over.
class ProcessReach : public ::testing::Test {
 protected:
  void SetUp() override {
    WARDENIX_REQUIRE_PRIVATE_PROCESSES();
    ASSERT_TRUE(testing::wait_until([] { return !runs(kServer); }, 10s))
        << "a DAZEVAVIZ.EXE runs before the test starts one (pid " << VerificaProcesso(kServer)
        << ")";
  }

  void TearDown() override {
    if (IsSkipped()) return;
    end_names_.push_back(UString(kServer));
    for (const UString& name : end_names_) {
      EXPECT_TRUE(testing::end_processes_named(name, 30s)) << to_utf8(name) << " still runs";
    }
  }

  // A copy of the trial server in the test's directory, ended after the test.
  fs::path copy(const std::string& file_name) {
    end_names_.push_back(from_utf8(file_name));
    return testing::copy_trial_server(dir_.path(), file_name);
  }

  // A script that runs `program` as the other user, with its arguments; the
  // test's directory becomes the other user's to write in too.
  fs::path as_other_user(const fs::path& program) {
    fs::permissions(dir_.path(), fs::perms::all);
    const fs::path script = dir_.path() / (program.filename().string() + ".as-other-user");
    std::ofstream(script) << "#!/bin/sh\nexec setpriv --reuid=" << kOtherUser
                          << " --regid=" << kOtherUser << " --clear-groups '" << program.string()
                          << "' \"$@\"\n";
    fs::permissions(script, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    return script;
  }

  // A hanging server that listens, and has started its child when this returns.
  void start_hanging_server(std::vector<std::unique_ptr<TrialProcess>>& servers,
                            const fs::path& program, const std::vector<std::string>& child) {
    const fs::path port_file = dir_.path() / ("port" + std::to_string(servers.size()));
    std::vector<std::string> arguments = {"--mode", "hang",        "--port",
                                          "0",      "--port-file", port_file.string()};
    arguments.insert(arguments.end(), child.begin(), child.end());
    servers.push_back(std::make_unique<TrialProcess>(program, with_safety(arguments)));
    ASSERT_TRUE(servers.back()->started());
    ASSERT_NE(testing::read_port_file(port_file, 20s), 0) << program;
  }

  const fs::path& dir() const { return dir_.path(); }

 private:
  TempDir dir_;
  std::vector<UString> end_names_;
};

struct Outcome {
  std::string process;
  std::uint32_t pid;
  bool ends;
};

// What the forced termination leaves of the trees: each process ends or runs
// on as expected; none is left stopped, since a stopped server would hang
// for good.
void expect_outcomes(const std::vector<Outcome>& outcomes) {
  for (const Outcome& outcome : outcomes) {
    SCOPED_TRACE(outcome.process);
    ASSERT_NE(outcome.pid, 0u);
    if (outcome.ends) {
      EXPECT_TRUE(testing::wait_until([&] { return ended(outcome.pid); }, 30s));
    } else {
      const std::optional<char> state = state_of(outcome.pid);
      ASSERT_TRUE(state.has_value()) << "ended, though out of reach";
      EXPECT_NE(*state, 'T') << "left stopped";
    }
  }
  ForEachProcess(false, [](const ProcessEntry& entry) {
    EXPECT_NE(entry.state, 'T') << "process " << entry.link.pid << " left stopped";
    return true;
  });
}

TEST_F(ProcessReach, ForcedTerminationPassesOverServersOfAnotherUserAndEndsTheRest) {
  if (exit_code_in_child([] { return become_other_user() ? 0 : kRefused; }, 30s) != 0) {
    GTEST_SKIP() << "needs to run as root, with user " << kOtherUser << " to switch to";
  }
  // The termination runs as the other user. Out of its reach: a hanging
  // server of the test's with its child, and one whose child runs as the
  // other user (as a service may start it). Within: the other user's own
  // hanging server with its child.
  std::vector<std::unique_ptr<TrialProcess>> servers;
  start_hanging_server(servers, testing::trial_server_path(),
                       {"--spawn-child", "--child-image", copy("CHILDA.EXE").string()});
  start_hanging_server(
      servers, testing::trial_server_path(),
      {"--spawn-child", "--child-image", as_other_user(copy("CHILDB.EXE")).string()});
  start_hanging_server(servers, as_other_user(testing::trial_server_path()),
                       {"--spawn-child", "--child-image", copy("CHILDC.EXE").string()});
  const auto child = [](UStringView name) {
    testing::wait_until([&] { return runs(name); }, 20s);
    return VerificaProcesso(name);
  };
  const std::vector<Outcome> outcomes = {
      {"server of the test's", servers[0]->pid(), false},
      {"its child", child(u"CHILDA.EXE"), false},
      {"server of the test's with a child of the other user's", servers[1]->pid(), false},
      {"that child", child(u"CHILDB.EXE"), true},
      {"server of the other user's", servers[2]->pid(), true},
      {"its child", child(u"CHILDC.EXE"), true},
  };

  EXPECT_EQ(exit_code_in_child(
                [] {
                  if (!become_other_user()) return kRefused;
                  ForceTerminateServer();
                  return 0;
                },
                60s),
            0)
      << "the termination did not return";
  expect_outcomes(outcomes);
}

TEST_F(ProcessReach, ForcedTerminationThatMayStopButNotKillLetsTheServersRunOn) {
  std::vector<std::unique_ptr<TrialProcess>> servers;
  start_hanging_server(servers, testing::trial_server_path(),
                       {"--spawn-child", "--child-image", copy("CHILDA.EXE").string()});
  ASSERT_TRUE(testing::wait_until([] { return runs(u"CHILDA.EXE"); }, 20s));
  const std::vector<Outcome> outcomes = {{"server", servers[0]->pid(), false},
                                         {"its child", VerificaProcesso(u"CHILDA.EXE"), false}};

  const int code = exit_code_in_child(
      [] {
        if (!refuse_kill_signals()) return kRefused;
        ForceTerminateServer();
        return 0;
      },
      60s);
  if (code == kRefused) GTEST_SKIP() << "the system refuses a seccomp filter here";
  EXPECT_EQ(code, 0) << "the termination did not return";
  expect_outcomes(outcomes);
}

// Runs beside a server that is process 1 of its PID namespace: the
// termination must return, end the server's child and leave the server as
// it was. Its verdict goes to `verdict_fd`.
[[noreturn]] void terminate_beside_process_1(int verdict_fd) {
  const auto judge = [] {
    if (!testing::wait_until([] { return runs(u"CHILDA.EXE") && VerificaProcesso(kServer) == 1; },
                             20s)) {
      std::cerr << "the server or its child did not start\n";
      return '1';
    }
    ForceTerminateServer();
    if (!testing::wait_until([] { return !runs(u"CHILDA.EXE"); }, 30s)) {
      std::cerr << "the server's child, within reach, still runs\n";
      return '1';
    }
    const std::optional<char> state = state_of(1);
    if (!state || *state == 'T') {
      std::cerr << "the server is " << (state ? "left stopped" : "gone") << "\n";
      return '1';
    }
    return '0';
  };
  const char verdict = judge();
  const auto unused = ::write(verdict_fd, &verdict, 1);
  static_cast<void>(unused);
  ::_exit(0);
}

TEST_F(ProcessReach, ForcedTerminationReturnsWhenAServerTakesTheStopWithoutStopping) {
  // Process 1 of a PID namespace takes no SIGSTOP or SIGKILL from inside its
  // namespace, though the kernel accepts them: a hanging server as that
  // process, and the termination run inside the namespace.
  const std::vector<std::string> arguments =
      with_safety({"--mode", "hang", "--port", "0", "--spawn-child", "--child-image",
                   copy("CHILDA.EXE").string()});
  const int code = exit_code_in_child(
      [&] {
        int verdict[2];
        if (::pipe2(verdict, O_CLOEXEC) != 0) return 1;
        if (::unshare(CLONE_NEWPID | CLONE_NEWNS) != 0) return kRefused;
        const pid_t first = ::fork();
        if (first == 0) {
          if (!mount_own_proc()) {
            const auto unused = ::write(verdict[1], "R", 1);
            static_cast<void>(unused);
            ::_exit(0);
          }
          if (::fork() == 0) terminate_beside_process_1(verdict[1]);
          std::vector<std::string> texts{testing::trial_server_path().string()};
          texts.insert(texts.end(), arguments.begin(), arguments.end());
          std::vector<char*> argv;
          for (std::string& text : texts) argv.push_back(text.data());
          argv.push_back(nullptr);
          ::execv(argv[0], argv.data());
          ::_exit(127);
        }
        ::close(verdict[1]);
        char got = 'x';
        while (::read(verdict[0], &got, 1) < 0 && errno == EINTR) {
        }
        if (first > 0) {
          ::kill(first, SIGKILL);  // and with it the namespace
          exit_code_of(first);
        }
        return got == '0' ? 0 : got == 'R' ? kRefused : 1;
      },
      90s);
  if (code == kRefused) GTEST_SKIP() << "the system refuses a nested PID namespace here";
  EXPECT_EQ(code, 0);
}

// In a process to which orphans come back: launches of programs that end at
// once and of a server tree that is then ended, beside a child of this
// process's own that other code waits for. Nothing may stay a zombie, and
// the own child's exit status must still be there for its waiter.
int launch_as_collector_of_orphans(const fs::path& child_image, const fs::path& port_file) {
  const pid_t own = ::fork();
  if (own == 0) ::_exit(7);
  for (int i = 0; i < 3; ++i) {
    if (!LaunchProgram(testing::command_line(testing::trial_server_path(),
                                             {"--port", "0", "--exit-after", "0"}))) {
      std::cerr << "launch " << i << " failed\n";
      return 1;
    }
  }
  if (!LaunchProgram(testing::command_line(
          testing::trial_server_path(),
          with_safety({"--port", "0", "--port-file", testing::quoted(port_file), "--spawn-child",
                       "--child-style", "orphan", "--child-image",
                       testing::quoted(child_image)}))) ||
      testing::read_port_file(port_file, 20s) == 0 ||
      !testing::wait_until([] { return runs(u"CHILDA.EXE"); }, 20s)) {
    std::cerr << "the server with a child did not start\n";
    return 1;
  }
  ForceTerminateServer();

  const auto self = static_cast<std::uint32_t>(::getpid());
  const auto others = [&] {
    std::vector<ProcessEntry> found;
    ForEachProcess(false, [&](const ProcessEntry& entry) {
      if (entry.link.parent == self && entry.link.pid != static_cast<std::uint32_t>(own)) {
        found.push_back(entry);
      }
      return true;
    });
    return found;
  };
  if (!testing::wait_until([&] { return others().empty(); }, 30s)) {
    for (const ProcessEntry& entry : others()) {
      std::cerr << "left: process " << entry.link.pid << " in state " << entry.state << "\n";
    }
    return 1;
  }
  if (exit_code_of(own) != 7) {
    std::cerr << "the exit status of this process's own child was taken\n";
    return 1;
  }
  return 0;
}

TEST_F(ProcessReach, LaunchesByAProcessThatCollectsOrphansLeaveNoZombie) {
  const fs::path child_image = copy("CHILDA.EXE");
  const struct {
    const char* collector;
    std::function<int(const std::function<int()>&)> run_as;
  } cases[] = {
      {"a child subreaper",
       [](const std::function<int()>& body) {
         return ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) == 0 ? body() : kRefused;
       }},
      {"process 1 of a PID namespace", run_as_process_1},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].collector);
    const fs::path port_file = dir() / ("port" + std::to_string(i));
    const int code = exit_code_in_child(
        [&] {
          return cases[i].run_as(
              [&] { return launch_as_collector_of_orphans(child_image, port_file); });
        },
        90s);
    if (code == kRefused) {
      std::cout << "[ NOTE     ] the system refuses " << cases[i].collector << " here\n";
      continue;
    }
    EXPECT_EQ(code, 0);
  }
}

// What a launch in a child process of the test reported, and the server
// found running after it, handed back to the test through a pipe.
struct LaunchSeen {
  bool started = false;
  std::uint32_t pid = 0;
  int error = 0;
  std::uint32_t server = 0;
};

// Launches `command_line`, tells the test through `to_test` what the launch
// reported, and ends the server it started.
int launch_and_tell(UStringView command_line, int to_test) {
  const LaunchOutcome outcome = LaunchProgram(command_line);
  LaunchSeen seen{outcome.started, outcome.pid, outcome.error, 0};
  if (testing::wait_until([] { return runs(kServer); }, outcome ? 20s : 0s)) {
    seen.server = VerificaProcesso(kServer);
    ::kill(static_cast<pid_t>(seen.server), SIGKILL);
    testing::wait_until([&] { return ended(seen.server); }, 30s);
  }
  return ::write(to_test, &seen, sizeof seen) == sizeof seen ? 0 : 1;
}

TEST_F(ProcessReach, LaunchReportsWhatHappenedWithoutStandardStreamsAndAsProcess1) {
  // Without descriptors 0 to 2, the launch's own pipe gets the lowest ones,
  // which the launched processes point at /dev/null.
  const struct {
    const char* launcher;
    bool closes_standard_streams;
    bool as_process_1;
  } launchers[] = {
      {"a process without standard streams", true, false},
      {"process 1 of a PID namespace", false, true},
      {"process 1 of a PID namespace without standard streams", true, true},
  };
  const struct {
    const char* name;
    UString command_line;
    bool starts;
  } programs[] = {
      {"a missing program", testing::path_text(dir() / "NOPE.EXE"), false},
      {"the trial server",
       testing::command_line(testing::trial_server_path(), with_safety({"--port", "0"})), true},
  };
  for (const auto& launcher : launchers) {
    for (const auto& program : programs) {
      SCOPED_TRACE(std::string(program.name) + " launched by " + launcher.launcher);
      int report[2];
      ASSERT_EQ(::pipe2(report, O_CLOEXEC), 0);
      const auto body = [&] {
        if (launcher.closes_standard_streams) {
          for (int fd = 0; fd < 3; ++fd) ::close(fd);
        }
        return launch_and_tell(program.command_line, report[1]);
      };
      const int code = exit_code_in_child(
          [&] { return launcher.as_process_1 ? run_as_process_1(body) : body(); }, 60s);
      ::close(report[1]);
      LaunchSeen seen;
      const ssize_t got = ::read(report[0], &seen, sizeof seen);
      ::close(report[0]);
      if (code == kRefused) {
        std::cout << "[ NOTE     ] the system refuses " << launcher.launcher << " here\n";
        break;
      }
      ASSERT_EQ(code, 0);
      ASSERT_EQ(got, static_cast<ssize_t>(sizeof seen));
      if (program.starts) {
        EXPECT_TRUE(seen.started) << "error " << seen.error;
        EXPECT_NE(seen.pid, 0u);
        EXPECT_EQ(seen.pid, seen.server);
      } else {
        EXPECT_FALSE(seen.started) << "pid " << seen.pid;
        EXPECT_EQ(seen.error, ENOENT);
        EXPECT_EQ(seen.pid, 0u);
        EXPECT_EQ(seen.server, 0u);
      }
    }
  }
}

}  // namespace
}  // namespace wardenix
