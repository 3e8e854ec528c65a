// The forced termination of the server on Linux: every process whose image
// name is the server's, with all its descendants, is killed.
//
// The processes are first stopped, so that none can start another between the
// reading of the table and the kill; the table is read again until no process
// joins the trees and all members have stopped. Nothing waits for a process
// to end: SIGKILL takes effect on its own.
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <map>
#include <set>

#include "sysops/image_name.h"
#include "sysops/launch.h"
#include "sysops/process_table_linux.h"
#include "sysops/process_tree.h"

namespace wardenix {
namespace {

constexpr char16_t kServerImage[] = u"DAZEVAVIZ.EXE";
// Stopping takes effect within microseconds; the rounds only bound a
// process that keeps starting others faster than they can be stopped.
constexpr int kMaxRounds = 64;

bool has_stopped(char state) { return state == 'T' || state == 't' || state == 'Z' || state == 'X'; }

}  // namespace

void ForceTerminateServer() {
  const auto self = static_cast<std::uint32_t>(::getpid());
  std::set<std::uint32_t> members;
  ForEachProcess(true, [&](const ProcessEntry& entry) {
    if (entry.link.pid != self && ImageNameMatches(entry.image_name, kServerImage)) {
      members.insert(entry.link.pid);
    }
    return true;
  });
  if (members.empty()) return;
  // Processes that may not be signalled (another user's) are not waited for.
  std::set<std::uint32_t> out_of_reach;
  const auto stop = [&](std::uint32_t pid) {
    if (::kill(static_cast<pid_t>(pid), SIGSTOP) != 0) out_of_reach.insert(pid);
  };
  for (std::uint32_t pid : members) stop(pid);

  for (int round = 0; round < kMaxRounds; ++round) {
    std::vector<ProcessLink> table;
    std::map<std::uint32_t, char> states;
    ForEachProcess(false, [&](const ProcessEntry& entry) {
      if (entry.link.pid == self) return true;  // never this program, even inside a tree
      table.push_back(entry.link);
      states[entry.link.pid] = entry.state;
      return true;
    });
    std::vector<std::uint32_t> added = GrowProcessTree(table, members);
    for (std::uint32_t pid : added) stop(pid);
    bool all_stopped = added.empty();
    for (std::uint32_t pid : members) {
      const auto found = states.find(pid);
      if (found != states.end() && !has_stopped(found->second) && out_of_reach.count(pid) == 0) {
        all_stopped = false;
      }
    }
    if (all_stopped) break;
    ::sched_yield();
  }

  for (std::uint32_t pid : members) ::kill(static_cast<pid_t>(pid), SIGKILL);
}

}  // namespace wardenix
