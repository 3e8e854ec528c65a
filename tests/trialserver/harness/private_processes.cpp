// See private_processes.h.
#include "tests/trialserver/harness/private_processes.h"

#ifdef _WIN32

namespace wardenix::testing {

void enter_private_processes(int, char**) {}

const std::string& private_processes_unavailable() {
  static const std::string none;
  return none;
}

}  // namespace wardenix::testing

#else

#include <fcntl.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>

// The processes, from the test program's start:
//   outer  (the machine's PID namespace): waits, and exits as the run did;
//   setter (the machine's PID namespace): enters the user (when not root),
//          mount and network namespaces and prepares them, then waits;
//   init   (process 1 of the new PID namespace): mounts its /proc, reaps
//          every orphan, reports the run's status;
//   runner (process 2): returns from enter_private_processes and runs the tests.
// Each dies with its parent (PR_SET_PDEATHSIG), and forwards SIGINT, SIGTERM,
// SIGHUP and SIGQUIT to its child. When any step fails, the outer process runs
// the tests itself and says why in private_processes_unavailable().
//
// The report pipe, held by the setter and then by init alone, carries either
// 'E' and the reason of a failure, or 'S' and the runner's wait status.

namespace wardenix::testing {
namespace {

constexpr int kForwarded[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction saved_actions[std::size(kForwarded)];
volatile sig_atomic_t forward_to = 0;

std::string& reason() {
  static std::string text = "needs a private PID namespace: the test program never asked for one";
  return text;
}

void forward(int signal) {
  const pid_t to = forward_to;
  if (to > 0) ::kill(to, signal);
}

sigset_t forwarded_set() {
  sigset_t set;
  ::sigemptyset(&set);
  for (int signal : kForwarded) ::sigaddset(&set, signal);
  return set;
}

void block_forwarded(bool block) {
  const sigset_t set = forwarded_set();
  ::sigprocmask(block ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

// Called with the signals blocked; unblocks them.
void forward_signals_to(pid_t pid) {
  forward_to = pid;
  struct sigaction action {};
  action.sa_handler = forward;
  ::sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: the waits below retry by themselves
  for (int signal : kForwarded) ::sigaction(signal, &action, nullptr);
  block_forwarded(false);
}

// Called with the signals blocked; unblocks them.
void restore_signals() {
  forward_to = 0;
  for (std::size_t i = 0; i < std::size(kForwarded); ++i) {
    ::sigaction(kForwarded[i], &saved_actions[i], nullptr);
  }
  block_forwarded(false);
}

std::string failure(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

void report(int fd, char kind, const std::string& text) {
  std::string message(1, kind);
  message += text;
  if (::write(fd, message.data(), message.size()) < 0) {
    // Nobody left to tell.
  }
}

// Tells the outer process why there is no namespace, and ends.
[[noreturn]] void give_up(int report_fd, const std::string& why) {
  report(report_fd, 'E', why);
  ::_exit(0);
}

bool write_file(const char* path, const std::string& text) {
  const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  const int error = errno;
  ::close(fd);
  errno = error;
  return written;
}

bool loopback_up() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ifreq request{};
  std::memcpy(request.ifr_name, "lo", 3);
  bool up = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  if (up) {
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    up = ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  }
  const int error = errno;
  ::close(fd);
  errno = error;
  return up;
}

int wait_for(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status;
}

int exit_code_of(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 1;
}

// Ends this process as `status` says a process ended: with its exit code, or
// killed by the same signal.
[[noreturn]] void exit_as(int status) {
  if (WIFSIGNALED(status)) {
    const int signal = WTERMSIG(status);
    const rlimit no_core{0, 0};
    ::setrlimit(RLIMIT_CORE, &no_core);  // the runner's core is the one that matters
    ::signal(signal, SIG_DFL);
    sigset_t set;
    ::sigemptyset(&set);
    ::sigaddset(&set, signal);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signal);
  }
  ::_exit(exit_code_of(status));
}

// In the setter: the namespaces but the PID one take effect at once; the PID
// namespace takes the next child. Empty on success, else the reason.
std::string enter_namespaces() {
  const uid_t uid = ::geteuid();
  const gid_t gid = ::getegid();
  constexpr int kNamespaces = CLONE_NEWPID | CLONE_NEWNS | CLONE_NEWNET;
  bool own_users = uid != 0;
  if (::unshare(kNamespaces | (own_users ? CLONE_NEWUSER : 0)) != 0) {
    // Root without the right to (a container's, say) may still make them
    // inside a user namespace of its own.
    std::string failed = failure("unshare");
    if (own_users) return failed;
    if (::unshare(kNamespaces | CLONE_NEWUSER) != 0) {
      return failed + "; with a user namespace: " + std::strerror(errno);
    }
    own_users = true;
  }
  if (own_users) {
    // The user and group map onto themselves.
    if (!write_file("/proc/self/setgroups", "deny") && errno != ENOENT) {
      return failure("writing /proc/self/setgroups");
    }
    if (!write_file("/proc/self/uid_map", std::to_string(uid) + ' ' + std::to_string(uid) + " 1")) {
      return failure("writing /proc/self/uid_map");
    }
    if (!write_file("/proc/self/gid_map", std::to_string(gid) + ' ' + std::to_string(gid) + " 1")) {
      return failure("writing /proc/self/gid_map");
    }
  }
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    return failure("making the mounts private");
  }
  if (!loopback_up()) return failure("bringing the loopback interface up");
  return {};
}

// Process 1: returns in the runner only.
void run_init(int report_fd, int setter_alive_fd) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  pollfd setter{setter_alive_fd, POLLIN, 0};
  if (::poll(&setter, 1, 0) != 0) ::_exit(1);  // the setter ended before the line above
  if (::getpid() != 1) {
    give_up(report_fd, "the new PID namespace's first process is not process 1");
  }
  if (::mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0) {
    give_up(report_fd, failure("mounting /proc"));
  }
  const pid_t runner = ::fork();
  if (runner < 0) {
    give_up(report_fd, failure("fork"));
  }
  if (runner == 0) {
    ::close(report_fd);
    ::close(setter_alive_fd);
    reason().clear();
    restore_signals();
    return;
  }
  forward_signals_to(runner);
  int status = 0;
  for (;;) {  // every orphan of the namespace comes here
    int ended = 0;
    const pid_t pid = ::wait(&ended);
    if (pid < 0 && errno == EINTR) continue;
    if (pid < 0) {
      status = 1 << 8;  // cannot happen while the runner lives
      break;
    }
    if (pid == runner) {
      status = ended;
      break;
    }
  }
  std::string message(sizeof status, '\0');
  std::memcpy(message.data(), &status, sizeof status);
  report(report_fd, 'S', message);
  ::_exit(0);  // the kernel ends whatever is left in the namespace
}

// The setter: returns in the runner only.
void run_setter(pid_t outer, int report_fd) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != outer) ::_exit(1);
  if (const std::string failed = enter_namespaces(); !failed.empty()) {
    give_up(report_fd, failed);
  }
  int alive[2];
  if (::pipe2(alive, O_CLOEXEC) != 0) {
    give_up(report_fd, failure("pipe"));
  }
  const pid_t init = ::fork();
  if (init < 0) {
    give_up(report_fd, failure("fork"));
  }
  if (init == 0) {
    ::close(alive[1]);
    run_init(report_fd, alive[0]);
    return;
  }
  ::close(report_fd);
  ::close(alive[0]);
  forward_signals_to(init);
  ::_exit(exit_code_of(wait_for(init)));
}

}  // namespace

void enter_private_processes(int argc, char** argv) {
  const std::string prefix = "needs a private PID namespace: ";
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--gtest_list_tests") {
      reason() = prefix + "none is made for listing the tests";
      return;
    }
  }
  if (const char* setting = std::getenv("WARDENIX_PRIVATE_PROCESSES");
      setting != nullptr && std::string_view(setting) == "0") {
    reason() = prefix + "switched off by WARDENIX_PRIVATE_PROCESSES=0";
    return;
  }
  std::fflush(nullptr);
  for (std::size_t i = 0; i < std::size(kForwarded); ++i) {
    ::sigaction(kForwarded[i], nullptr, &saved_actions[i]);
  }
  block_forwarded(true);
  int report_pipe[2];
  if (::pipe2(report_pipe, O_CLOEXEC) != 0) {
    reason() = prefix + failure("pipe");
    block_forwarded(false);
    return;
  }
  const pid_t outer = ::getpid();
  const pid_t setter = ::fork();
  if (setter < 0) {
    reason() = prefix + failure("fork");
    ::close(report_pipe[0]);
    ::close(report_pipe[1]);
    block_forwarded(false);
    return;
  }
  if (setter == 0) {
    ::close(report_pipe[0]);
    run_setter(outer, report_pipe[1]);
    return;  // the runner
  }

  ::close(report_pipe[1]);
  forward_signals_to(setter);
  std::string message;
  char buffer[512];
  for (;;) {
    const ssize_t got = ::read(report_pipe[0], buffer, sizeof buffer);
    if (got > 0) {
      message.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(report_pipe[0]);
  const int setter_status = wait_for(setter);
  block_forwarded(true);
  restore_signals();

  if (!message.empty() && message.front() == 'E') {
    reason() = prefix + message.substr(1);
    return;  // the tests run here, outside
  }
  if (message.size() == 1 + sizeof(int) && message.front() == 'S') {
    int status = 0;
    std::memcpy(&status, message.data() + 1, sizeof status);
    exit_as(status);
  }
  std::fprintf(stderr, "the test run's private PID namespace ended without a report (status %d)\n",
               setter_status);
  if (setter_status != -1 && WIFSIGNALED(setter_status)) exit_as(setter_status);
  ::_exit(1);
}

const std::string& private_processes_unavailable() { return reason(); }

}  // namespace wardenix::testing

#endif
