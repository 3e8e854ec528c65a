#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "trialserver/process.h"

extern char** environ;

namespace wardenix::trial {

std::vector<std::string> program_arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::string own_executable_path() {
  std::string path(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  path.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return path;
}

bool start_child(const std::string& program, const std::vector<std::string>& arguments,
                 ChildStyle style) {
  // Children that end are collected by the kernel at once.
  std::signal(SIGCHLD, SIG_IGN);

  std::vector<std::string> texts{program};
  texts.insert(texts.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);

  if (style == ChildStyle::Orphan) {
    // The server is single-threaded here, so a plain fork is safe.
    if (::access(program.c_str(), X_OK) != 0) return false;
    const pid_t intermediate = ::fork();
    if (intermediate == 0) {
      if (::fork() == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
      }
      ::_exit(0);
    }
    return intermediate > 0;
  }

  posix_spawnattr_t attributes;
  ::posix_spawnattr_init(&attributes);
  if (style == ChildStyle::Session) ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  pid_t pid = 0;
  const int error = ::posix_spawn(&pid, argv[0], nullptr, &attributes, argv.data(), environ);
  ::posix_spawnattr_destroy(&attributes);
  return error == 0;
}

}  // namespace wardenix::trial
