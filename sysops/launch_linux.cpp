// Starting a program on Linux.
//
// The program is started through an intermediate process that ends at once:
// the program is then the child of the system's reaper (init or the nearest
// subreaper), which collects it when it ends. This process only ever waits
// for the intermediate, by its own pid, so it neither leaves zombies behind
// nor touches SIGCHLD or any other child it may have.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>
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
  int report_fd = -1;       // gets the errno of a failed start; closed by exec
  int max_fd = 1024;
};

[[noreturn]] void fail_start(int report_fd, int error) {
  const auto unused = ::write(report_fd, &error, sizeof error);
  static_cast<void>(unused);
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

// Runs in the started program's own process, before exec.
[[noreturn]] void become_program(const ExecPlan& plan) {
  ::setsid();
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &default_action, nullptr);
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);

  // The program gets no terminal and no streams of this one, as a program
  // started in a console of its own.
  const int null_fd = ::open("/dev/null", O_RDWR);
  if (null_fd < 0) fail_start(plan.report_fd, errno);
  for (int fd = 0; fd < 3; ++fd) {
    if (::dup2(null_fd, fd) < 0) fail_start(plan.report_fd, errno);
  }
  if (null_fd > 2) ::close(null_fd);
  close_inherited(plan);

  ::execv(plan.argv[0], plan.argv.data());
  fail_start(plan.report_fd, errno);
}

void wait_for_exit(pid_t pid) {
  while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

bool LaunchProgram(UStringView CommandLine) {
  ExecPlan plan;
  for (const UString& argument : SplitCommandLine(CommandLine)) {
    plan.arguments.push_back(to_utf8(argument));
  }
  if (plan.arguments.empty() || plan.arguments.front().empty()) return false;
  for (std::string& argument : plan.arguments) plan.argv.push_back(argument.data());
  plan.argv.push_back(nullptr);
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY) {
    plan.max_fd = static_cast<int>(files.rlim_cur < 65536 ? files.rlim_cur : 65536);
  }

  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return false;
  plan.report_fd = report[1];

  const pid_t intermediate = ::fork();
  if (intermediate == 0) {
    ::close(report[0]);
    const pid_t program = ::fork();
    if (program == 0) become_program(plan);
    if (program < 0) fail_start(plan.report_fd, errno);
    ::_exit(0);
  }
  ::close(report[1]);
  if (intermediate < 0) {
    ::close(report[0]);
    return false;
  }
  wait_for_exit(intermediate);

  // The pipe closes without a word when exec succeeds.
  int error = 0;
  ssize_t n = 0;
  do {
    n = ::read(report[0], &error, sizeof error);
  } while (n < 0 && errno == EINTR);
  ::close(report[0]);
  return n == 0;
}

}  // namespace wardenix
