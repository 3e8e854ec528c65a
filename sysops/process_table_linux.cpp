#include "sysops/process_table_linux.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace wardenix {
namespace {

constexpr std::string_view kDeletedSuffix = " (deleted)";
// The kernel keeps at most 15 bytes of a program name in comm.
constexpr std::size_t kCommLimit = 15;

bool parse_pid(const char* text, pid_t& pid) {
  const std::string_view s(text);
  if (s.empty()) return false;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), pid);
  return ec == std::errc() && end == s.data() + s.size() && pid > 0;
}

// Reads a small /proc file whole; empty on failure.
std::string read_small_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string text;
  char buffer[1024];
  while (true) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return text;
}

std::string proc_path(pid_t pid, const char* leaf) {
  return "/proc/" + std::to_string(pid) + "/" + leaf;
}

// "pid (comm) state ppid pgrp session ...": comm may hold blanks and
// parentheses, so the fields are counted from its last ")".
bool read_stat(pid_t pid, ProcessEntry& entry) {
  const std::string stat = read_small_file(proc_path(pid, "stat"));
  const auto close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size()) return false;
  const char* p = stat.data() + close + 2;
  const char* const end = stat.data() + stat.size();
  entry.state = *p++;
  long fields[3] = {};  // ppid, pgrp, session
  for (long& field : fields) {
    while (p < end && *p == ' ') ++p;
    const auto result = std::from_chars(p, end, field);
    if (result.ec != std::errc()) return false;
    p = result.ptr;
  }
  entry.link.pid = static_cast<std::uint32_t>(pid);
  entry.link.parent = static_cast<std::uint32_t>(fields[0]);
  entry.link.session = static_cast<std::uint32_t>(fields[2]);
  return true;
}

std::string file_part(std::string_view path) {
  const auto slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The kernel marks the link of a program file that was removed or replaced
// after the start with " (deleted)". The suffix is dropped unless a file of
// that very name is the program.
std::string without_deleted_mark(pid_t pid, std::string target) {
  if (target.size() <= kDeletedSuffix.size() ||
      std::string_view(target).substr(target.size() - kDeletedSuffix.size()) != kDeletedSuffix) {
    return target;
  }
  struct stat running {};
  struct stat named {};
  const bool same_file = ::stat(proc_path(pid, "exe").c_str(), &running) == 0 &&
                         ::stat(target.c_str(), &named) == 0 && running.st_dev == named.st_dev &&
                         running.st_ino == named.st_ino;
  if (!same_file) target.resize(target.size() - kDeletedSuffix.size());
  return target;
}

}  // namespace

// The image name is the file name of the program the process runs, as the
// link /proc/PID/exe names it. Kernel threads and ended processes (zombies)
// have no such link and so no image name. When the link may not be read
// (another user's process), the name comes from comm, but only when it is
// shorter than comm's limit: a longer program name is cut there, and the
// cut name must not pass for another program.
UString ReadImageName(pid_t pid) {
  const std::string link = proc_path(pid, "exe");
  std::string target(4096, '\0');
  const ssize_t n = ::readlink(link.c_str(), target.data(), target.size());
  if (n > 0 && static_cast<std::size_t>(n) < target.size()) {
    target.resize(static_cast<std::size_t>(n));
    return from_utf8(file_part(without_deleted_mark(pid, std::move(target))));
  }
  if (n < 0 && (errno == EACCES || errno == EPERM)) {
    std::string comm = read_small_file(proc_path(pid, "comm"));
    if (!comm.empty() && comm.back() == '\n') comm.pop_back();
    if (!comm.empty() && comm.size() < kCommLimit) return from_utf8(comm);
  }
  return {};
}

std::optional<char> ReadProcessState(pid_t pid) {
  ProcessEntry entry;
  if (!read_stat(pid, entry)) return std::nullopt;
  return entry.state;
}

void ForEachProcess(bool with_image_names, const std::function<bool(const ProcessEntry&)>& visit) {
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir("/proc"), &::closedir);
  if (!dir) return;
  while (const dirent* item = ::readdir(dir.get())) {
    pid_t pid = 0;
    if (!parse_pid(item->d_name, pid)) continue;
    ProcessEntry entry;
    if (!read_stat(pid, entry)) continue;  // ended meanwhile
    if (with_image_names) entry.image_name = ReadImageName(pid);
    if (!visit(entry)) return;
  }
}

}  // namespace wardenix
