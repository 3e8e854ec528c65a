// Starting a program on Linux.
//
// The program is started through an intermediate process. Usually the
// intermediate ends at once: the program is then the child of the system's
// reaper (init or the nearest subreaper), which collects it when it ends, and
// this process only ever waits for the intermediate, by its own pid.
//
// When this process is that reaper itself (process 1 of a PID namespace, or
// a child subreaper), every orphan would come back to it and stay a zombie.
// The intermediate then stays as the program's keeper: a subreaper of its own
// that collects the program and every orphan of the program's tree, and ends
// when none is left. A thread of this process waits for the keeper, by its
// pid. So this process collects only keepers it started: it never takes the
// exit status of a child that other code of it waits for, and it never
// touches SIGCHLD.
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "sysops/command_line.h"
#include "sysops/launch.h"

namespace wardenix {
namespace {

// Everything the processes between fork and exec need, made beforehand:
// after a fork in a threaded program only async-signal-safe calls are made.
struct ExecPlan {
  std::vector<std::string> arguments;
  std::vector<char*> argv;
  int report_fd = -1;       // gets the reports below; closed by exec
  int max_fd = 1024;
};

// What the processes of the launch tell the launching one, each report in
// one write (atomic on a pipe). The pipe closes without an error report when
// exec succeeds.
struct StartReport {
  enum Kind : int { ProgramPid = 1, Error = 2 };
  int kind;
  int value;
};

void report_start(int report_fd, StartReport report) {
  const auto unused = ::write(report_fd, &report, sizeof report);
  static_cast<void>(unused);
}

[[noreturn]] void fail_start(int report_fd, int error) {
  report_start(report_fd, {StartReport::Error, error});
  ::_exit(127);
}

void close_inherited(const ExecPlan& plan) {
  // Nothing of this program's is handed on but the three standard streams.
  const auto keep = static_cast<unsigned>(plan.report_fd);
#ifdef SYS_close_range
  if ((keep == 3 || ::syscall(SYS_close_range, 3u, keep - 1, 0u) == 0) &&
      ::syscall(SYS_close_range, keep + 1, ~0u, 0u) == 0) {
    return;
  }
#endif
  for (int fd = 3; fd < plan.max_fd; ++fd) {
    if (fd != plan.report_fd) ::close(fd);
  }
}

// The state a process of the launch starts from: a session of its own, the
// default handling of every signal, no terminal and no streams or other
// files of this program's, as a program started in a console of its own.
void start_afresh(const ExecPlan& plan) {
  ::setsid();
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &default_action, nullptr);
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);

  const int null_fd = ::open("/dev/null", O_RDWR);
  if (null_fd < 0) fail_start(plan.report_fd, errno);
  for (int fd = 0; fd < 3; ++fd) {
    if (::dup2(null_fd, fd) < 0) fail_start(plan.report_fd, errno);
  }
  if (null_fd > 2) ::close(null_fd);
  close_inherited(plan);
}

// Runs in the started program's own process, before exec.
[[noreturn]] void become_program(const ExecPlan& plan) {
  start_afresh(plan);
  ::execv(plan.argv[0], plan.argv.data());
  fail_start(plan.report_fd, errno);
}

// Runs in the keeper: starts the program, then collects its tree until
// nothing of it is left. Holding no file of this program's, the keeper keeps
// no connection or stream of it open.
[[noreturn]] void become_keeper(const ExecPlan& plan) {
  start_afresh(plan);
  ::prctl(PR_SET_NAME, "wardenix-keeper", 0, 0, 0);
  if (::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0) fail_start(plan.report_fd, errno);
  const pid_t program = ::fork();
  if (program == 0) become_program(plan);
  if (program < 0) fail_start(plan.report_fd, errno);
  report_start(plan.report_fd, {StartReport::ProgramPid, program});
  ::close(plan.report_fd);
  while (::wait(nullptr) > 0 || errno == EINTR) {
  }
  ::_exit(0);
}

// True when orphans of this process's descendants come back to it.
bool collects_orphans() {
  int subreaper = 0;
  return ::getpid() == 1 ||
         (::prctl(PR_GET_CHILD_SUBREAPER, &subreaper, 0, 0, 0) == 0 && subreaper != 0);
}

void wait_for_exit(pid_t pid) {
  while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

// The keeper lives as long as the program's tree: it is collected when it
// ends, on a thread of its own, so that the launch does not wait for it.
void collect_when_ended(pid_t keeper) {
  try {
    std::thread(wait_for_exit, keeper).detach();
  } catch (const std::system_error&) {
    // No thread to be had: the keeper stays a zombie once it ends, as every
    // launch did before there were keepers.
  }
}

// The pipe for the reports, both ends above the standard streams: a process
// started without descriptors 0 to 2 would get them for its pipe, and the
// processes of the launch point those at /dev/null, losing their reports.
bool open_report_pipe(int (&report)[2]) {
  if (::pipe2(report, O_CLOEXEC) != 0) return false;
  for (int& fd : report) {
    if (fd > 2) continue;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    fd = moved;
  }
  if (report[0] >= 0 && report[1] >= 0) return true;
  const int error = errno;
  for (const int fd : report) {
    if (fd >= 0) ::close(fd);
  }
  errno = error;
  return false;
}

}  // namespace

LaunchOutcome LaunchProgram(UStringView CommandLine) {
  LaunchOutcome outcome;
  ExecPlan plan;
  for (const UString& argument : SplitCommandLine(CommandLine)) {
    plan.arguments.push_back(to_utf8(argument));
  }
  if (plan.arguments.empty() || plan.arguments.front().empty()) {
    outcome.error = ENOENT;
    return outcome;
  }
  for (std::string& argument : plan.arguments) plan.argv.push_back(argument.data());
  plan.argv.push_back(nullptr);
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY) {
    plan.max_fd = static_cast<int>(files.rlim_cur < 65536 ? files.rlim_cur : 65536);
  }

  int report[2];
  if (!open_report_pipe(report)) {
    outcome.error = errno;
    return outcome;
  }
  plan.report_fd = report[1];

  const bool keep = collects_orphans();
  const pid_t intermediate = ::fork();
  if (intermediate == 0) {
    ::close(report[0]);
    if (keep) become_keeper(plan);
    const pid_t program = ::fork();
    if (program == 0) become_program(plan);
    if (program < 0) fail_start(plan.report_fd, errno);
    report_start(plan.report_fd, {StartReport::ProgramPid, program});
    ::_exit(0);
  }
  const int fork_error = errno;
  ::close(report[1]);
  if (intermediate < 0) {
    ::close(report[0]);
    outcome.error = fork_error;
    return outcome;
  }
  if (keep) {
    collect_when_ended(intermediate);
  } else {
    wait_for_exit(intermediate);
  }

  // Read until every process of the launch has closed its end: the program's
  // at exec, or with an error report when it could not start.
  StartReport received{};
  ssize_t n = 0;
  bool failed = false;
  for (;;) {
    n = ::read(report[0], &received, sizeof received);
    if (n < 0 && errno == EINTR) continue;
    if (n != static_cast<ssize_t>(sizeof received)) break;
    if (received.kind == StartReport::ProgramPid) {
      outcome.pid = static_cast<std::uint32_t>(received.value);
    } else {
      failed = true;
      outcome.error = received.value;
    }
  }
  ::close(report[0]);
  // A launch whose processes all ended without naming the program (one
  // killed before its report, say) started nothing this process can name.
  outcome.started = n == 0 && !failed && outcome.pid != 0;
  if (!outcome.started) {
    outcome.pid = 0;
    if (outcome.error == 0) outcome.error = EIO;
  }
  return outcome;
}

}  // namespace wardenix
