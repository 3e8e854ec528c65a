// The forced termination of the server on Linux: every process whose image
// name is the server's, with all its descendants, is killed.
//
// The processes are first stopped, so that none can start another between the
// reading of the table and the kill; the table is read again until no process
// joins the trees and all members have stopped. Processes that may not be
// signalled (another user's) are passed over, as the system's task-ending
// tool passes over those it is denied, and are not waited for. Nothing waits
// for a process to end: SIGKILL takes effect on its own.
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <new>
#include <set>
#include <vector>

#include "sysops/image_name.h"
#include "sysops/process_table_linux.h"
#include "sysops/process_tree.h"
#include "sysops/termination.h"

namespace wardenix {
namespace {

// Stopping takes effect within microseconds; the rounds only bound a
// process that keeps starting others faster than they can be stopped, or one
// that takes the stop without stopping.
constexpr int kMaxRounds = 64;

bool has_stopped(char state) { return state == 'T' || state == 't' || state == 'Z' || state == 'X'; }

// The members of the server's trees, each stopped as it joins. However the
// termination ends, every member is killed then; a member that could be
// stopped but not killed is let run again, since a server left stopped would
// hang for good and no later check could end it either.
class StoppedTrees {
 public:
  StoppedTrees() = default;
  StoppedTrees(const StoppedTrees&) = delete;
  StoppedTrees& operator=(const StoppedTrees&) = delete;
  ~StoppedTrees() {
    if (!killed_) kill_all(nullptr);
  }

  // Kills every member; `report`, when given, gets how each kill went.
  void kill_all(TerminationReport* report) {
    killed_ = true;
    if (report) report->targets.reserve(members_.size());
    for (std::uint32_t pid : members_) {
      TerminationTarget target{pid, true, 0};
      // A process that ended on its own meanwhile is as gone as a killed one.
      if (::kill(static_cast<pid_t>(pid), SIGKILL) != 0 && errno != ESRCH) {
        target = {pid, false, errno};
        if (stopped_.count(pid) != 0) ::kill(static_cast<pid_t>(pid), SIGCONT);
      }
      if (report) report->targets.push_back(target);
    }
  }

  std::set<std::uint32_t>& members() { return members_; }

  void stop(std::uint32_t pid) {
    if (::kill(static_cast<pid_t>(pid), SIGSTOP) == 0) stopped_.insert(pid);
  }

  // A member that took the stop but does not show it yet.
  bool still_running(std::uint32_t pid, char state) const {
    return stopped_.count(pid) != 0 && !has_stopped(state);
  }

 private:
  std::set<std::uint32_t> members_;
  std::set<std::uint32_t> stopped_;
  bool killed_ = false;
};

void terminate_server_trees(TerminationReport& report) {
  const auto self = static_cast<std::uint32_t>(::getpid());
  StoppedTrees trees;
  ForEachProcess(true, [&](const ProcessEntry& entry) {
    if (entry.link.pid != self && ImageNameMatches(entry.image_name, kServerImageName)) {
      trees.members().insert(entry.link.pid);
    }
    return true;
  });
  for (std::uint32_t pid : trees.members()) trees.stop(pid);

  for (int round = 0; round < kMaxRounds && !trees.members().empty(); ++round) {
    std::vector<ProcessLink> table;
    std::map<std::uint32_t, char> states;
    ForEachProcess(false, [&](const ProcessEntry& entry) {
      if (entry.link.pid == self) return true;  // never this program, even inside a tree
      table.push_back(entry.link);
      states[entry.link.pid] = entry.state;
      return true;
    });
    const std::vector<std::uint32_t> added = GrowProcessTree(table, trees.members());
    for (std::uint32_t pid : added) trees.stop(pid);
    bool all_stopped = added.empty();
    for (std::uint32_t pid : trees.members()) {
      const auto found = states.find(pid);
      if (found != states.end() && trees.still_running(pid, found->second)) all_stopped = false;
    }
    if (all_stopped) break;
    ::sched_yield();
  }
  trees.kill_all(&report);
}

}  // namespace

TerminationReport ForceTerminateServer() {
  TerminationReport report;
  try {
    terminate_server_trees(report);
  } catch (const std::bad_alloc&) {
    // What was found by then is killed all the same (StoppedTrees), without
    // a word of it in the report.
  }
  return report;
}

}  // namespace wardenix
