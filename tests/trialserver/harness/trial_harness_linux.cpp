#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "sysops/image_name.h"
#include "sysops/process_table_linux.h"
#include "tests/trialserver/harness/private_processes.h"
#include "tests/trialserver/harness/trial_harness.h"

extern char** environ;

namespace wardenix::testing {

std::filesystem::path trial_server_path() { return WARDENIX_TRIAL_SERVER; }

bool end_processes_named(UStringView image_name, milliseconds timeout) {
  if (!private_processes_unavailable().empty()) return false;  // others' processes are in sight
  const auto find = [&] {
    std::vector<pid_t> found;
    ForEachProcess(true, [&](const ProcessEntry& entry) {
      if (ImageNameMatches(entry.image_name, image_name)) {
        found.push_back(static_cast<pid_t>(entry.link.pid));
      }
      return true;
    });
    return found;
  };
  for (pid_t pid : find()) ::kill(pid, SIGKILL);
  return wait_until([&] { return find().empty(); }, timeout);
}

std::size_t open_handle_count() {
  std::size_t count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (const dirent* item = ::readdir(dir)) count += item->d_name[0] != '.';
    ::closedir(dir);
    --count;  // the directory being read
  }
  return count;
}

std::size_t child_process_count() {
  const auto self = static_cast<std::uint32_t>(::getpid());
  std::size_t count = 0;
  ForEachProcess(false, [&](const ProcessEntry& entry) {
    count += entry.link.parent == self;
    return true;
  });
  return count;
}

TrialProcess::TrialProcess(const std::filesystem::path& program,
                           const std::vector<std::string>& arguments) {
  std::vector<std::string> texts{program.string()};
  texts.insert(texts.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0) {
    pid_ = static_cast<std::uint32_t>(pid);
  }
}

TrialProcess::~TrialProcess() {
  if (pid_ == 0 || exit_code_ >= 0) return;
  ::kill(static_cast<pid_t>(pid_), SIGKILL);
  while (::waitpid(static_cast<pid_t>(pid_), nullptr, 0) < 0 && errno == EINTR) {
  }
}

int TrialProcess::wait_for_exit(milliseconds timeout) {
  if (pid_ == 0 || exit_code_ >= 0) return exit_code_;
  wait_until(
      [&] {
        int status = 0;
        if (::waitpid(static_cast<pid_t>(pid_), &status, WNOHANG) != static_cast<pid_t>(pid_)) {
          return false;
        }
        exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return true;
      },
      timeout);
  return exit_code_;
}

}  // namespace wardenix::testing
