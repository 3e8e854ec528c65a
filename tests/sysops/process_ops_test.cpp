// The process operations against real processes: trial servers and copies
// of them under other names.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <set>
#include <iostream>

#include "sysops/launch.h"
#include "sysops/process_check.h"
#include "sysops/termination.h"
#include "tests/trialserver/harness/private_processes.h"
#include "tests/trialserver/harness/trial_harness.h"

#ifdef _WIN32
#include <windows.h>

#include "sysops/termination_win.h"
#else
#include <fcntl.h>
#include <unistd.h>

#include "sysops/process_table_linux.h"
#endif

namespace wardenix {
namespace {

using namespace std::chrono_literals;
using testing::TempDir;
using testing::TrialProcess;
namespace fs = std::filesystem;

constexpr UStringView kServer = u"DAZEVAVIZ.EXE";
// Every process the tests start ends by itself at the latest after this.
const std::vector<std::string> kSafety = {"--exit-after", "120"};

std::vector<std::string> with_safety(std::vector<std::string> arguments) {
  arguments.insert(arguments.end(), kSafety.begin(), kSafety.end());
  return arguments;
}

bool runs(UStringView image_name) { return VerificaProcesso(image_name) != 0; }

#ifdef _WIN32
// Runs `command_line` (`application` unless empty) in `directory` (this
// program's current one unless empty) and gives its exit code, or -1 when it
// did not start or end within 30 s.
long exit_code_of_run(const std::wstring& application, std::wstring command_line,
                      const std::wstring& directory = {}) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION created{};
  if (!::CreateProcessW(application.empty() ? nullptr : application.c_str(), command_line.data(),
                        nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &created)) {
    return -1;
  }
  DWORD code = 0;
  const bool ended = ::WaitForSingleObject(created.hProcess, 30000) == WAIT_OBJECT_0 &&
                     ::GetExitCodeProcess(created.hProcess, &code);
  ::CloseHandle(created.hThread);
  ::CloseHandle(created.hProcess);
  return ended ? static_cast<long>(code) : -1;
}

// Runs the system's task-ending tool as a probe and tells whether it accepts
// /t. The tool answers an unknown option with exit code 1 (and kills
// nothing); a process it cannot find gives another code.
bool taskkill_accepts_tree_option() {
  const long code = exit_code_of_run(SystemToolPath(kTaskEndingTool),
                                     L"taskkill /im WARDENIX-NO-SUCH-PROCESS.EXE /t");
  return code != -1 && code != 1;
}

// A program built beside this test.
fs::path beside_this_test(const wchar_t* file_name) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return fs::path(std::wstring(path, length)).parent_path() / file_name;
}
constexpr char kWithoutTreeOption[] = "taskkill -im DAZEVAVIZ.EXE /f";
#endif

// Runs in the test run's own process list (private_processes.h), where it
// finds and ends nothing but what its tests start; ends whatever the test
// started when it is over.
class ProcessOps : public ::testing::Test {
 protected:
  void SetUp() override {
    WARDENIX_REQUIRE_PRIVATE_PROCESSES();
    // The list is the run's own and each test leaves it as it found it: a
    // server here is one an earlier test of this run failed to end.
    ASSERT_TRUE(testing::wait_until([] { return !runs(kServer); }, 10s))
        << "a DAZEVAVIZ.EXE runs before the test starts one (pid " << VerificaProcesso(kServer) << ")";
  }

  void TearDown() override {
    if (IsSkipped()) return;
    end_names_.push_back(UString(kServer));
    for (const UString& name : end_names_) {
      EXPECT_TRUE(testing::end_processes_named(name, 30s)) << to_utf8(name) << " still runs";
    }
  }

  // A copy of the trial server in the test's directory, ended after the test.
  fs::path copy(const std::string& file_name, const fs::path& subdirectory = {}) {
    fs::create_directories(dir_.path() / subdirectory);
    end_names_.push_back(from_utf8(file_name));
    return testing::copy_trial_server(dir_.path() / subdirectory, file_name);
  }

  const fs::path& dir() const { return dir_.path(); }

 private:
  TempDir dir_;
  std::vector<UString> end_names_;
};

TEST_F(ProcessOps, FindsTheRunningServerByItsImageNameOnly) {
  const TrialProcess server(testing::trial_server_path(), with_safety({"--port", "0"}));
  ASSERT_TRUE(server.started());
  ASSERT_TRUE(testing::wait_until([] { return runs(kServer); }, 10s));

  const struct {
    UStringView wanted;
    bool found;
  } cases[] = {
      {u"DAZEVAVIZ.EXE", true},  {u"dazevaviz.exe", true},     {u"DAZEVAVIZ", false},
      {u"DAZEVAVIZ.EXE.OLD", false}, {u"AZEVAVIZ.EXE", false}, {u"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(VerificaProcesso(c.wanted), c.found ? server.pid() : 0u) << to_utf8(c.wanted);
  }

  // With two servers, the first in the table's order is named.
  const TrialProcess second(testing::trial_server_path(), with_safety({"--port", "0"}));
  ASSERT_TRUE(second.started());
  const std::uint32_t found = VerificaProcesso(kServer);
  EXPECT_TRUE(found == server.pid() || found == second.pid()) << found;
}

TEST_F(ProcessOps, MatchesRunningProgramsOfOtherNamesByTheRule) {
  const struct {
    const char* file_name;
    UStringView wanted;
    bool matches;
  } cases[] = {
      {"dazevaviz.exe", u"DAZEVAVIZ.EXE", true},
      {"DAZEVAVIZ.EXE.OLD", u"DAZEVAVIZ.EXE", false},
      {"DAZEVAVIZ.EXEX", u"DAZEVAVIZ.EXE", false},
      {"DAZEVAVIZ", u"DAZEVAVIZ.EXE", false},
      {"DAZEVAV\xC3\x8DZ.EXE", u"DAZEVAV\u00EDZ.EXE", false},  // Í against í
      {"DAZEVAV\xC3\x8DZ.EXE", u"dazevav\u00CDz.exe", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file_name);
    const fs::path program = copy(c.file_name);
    const TrialProcess process(program, with_safety({"--port", "0"}));
    ASSERT_TRUE(process.started());
    // Found under its own name first, so that a miss below means something.
    ASSERT_TRUE(testing::wait_until([&] { return runs(from_utf8(c.file_name)); }, 10s));
    EXPECT_EQ(VerificaProcesso(from_utf8(c.file_name)), process.pid());
    EXPECT_EQ(VerificaProcesso(c.wanted), c.matches ? process.pid() : 0u);
  }
}

TEST_F(ProcessOps, LaunchOfAMissingProgramFailsAndLeavesNothingOpen) {
  const std::size_t handles = testing::open_handle_count();
  const std::size_t children = testing::child_process_count();
  const fs::path missing = dir() / "NOPE.EXE";
  const UString cases[] = {
      testing::path_text(missing),
      testing::path_text(dir() / "no such folder" / "NOPE.EXE"),
      testing::command_line(missing, {"--port", "0"}),
      testing::path_text(dir()),  // a folder is no program
      u"",
  };
  for (const UString& command_line : cases) {
    const LaunchOutcome outcome = LaunchProgram(command_line);
    EXPECT_FALSE(outcome) << to_utf8(command_line);
    // The administrator's diagnostics say why.
    EXPECT_NE(outcome.error, 0) << to_utf8(command_line);
    EXPECT_EQ(outcome.pid, 0u) << to_utf8(command_line);
  }
  EXPECT_EQ(testing::open_handle_count(), handles);
  EXPECT_EQ(testing::child_process_count(), children);
}

TEST_F(ProcessOps, LaunchTakesAPathWithBlanksWholeAndStartsNothingElse) {
  // C:\...\Program Files\DAZEVAVIZ.EXE beside a decoy C:\...\Program.exe,
  // which a path cut at its first blank would start.
#ifdef _WIN32
  const std::string decoy_name = "Program.exe";
#else
  const std::string decoy_name = "Program";
#endif
  const fs::path program = copy("DAZEVAVIZ.EXE", "Program Files");
  copy(decoy_name);
  const fs::path port_file = dir() / "port";
  testing::write_arguments_file(program.parent_path(),
                                with_safety({"--port", "0", "--port-file", port_file.string()}));
  testing::write_arguments_file(dir(), with_safety({"--port", "0"}));

  const LaunchOutcome launched = LaunchProgram(testing::path_text(program));
  ASSERT_TRUE(launched);
  EXPECT_NE(testing::read_port_file(port_file, 10s), 0);
  EXPECT_TRUE(runs(kServer));
  EXPECT_FALSE(runs(from_utf8(decoy_name)));
  // The outcome names the program's own process, not an intermediate one.
  EXPECT_EQ(VerificaProcesso(kServer), launched.pid);
  EXPECT_TRUE(ProcessRunning(launched.pid));
}

#ifndef _WIN32
TEST_F(ProcessOps, LaunchedProgramLeadsANewSessionAndGetsNoFileOfThisProgram) {
  // A descriptor that a plain fork and exec would hand on.
  const fs::path marker = dir() / "inherited-marker";
  const int marker_fd = ::open(marker.c_str(), O_CREAT | O_RDWR, 0600);
  ASSERT_GE(marker_fd, 0);
  const LaunchOutcome launched = LaunchProgram(
      testing::command_line(testing::trial_server_path(), with_safety({"--mode", "child"})));
  ::close(marker_fd);
  ASSERT_TRUE(launched);
  const std::uint32_t pid = VerificaProcesso(kServer);
  ASSERT_NE(pid, 0u);

  ProcessEntry launched_entry;
  ForEachProcess(false, [&](const ProcessEntry& entry) {
    if (entry.link.pid == pid) launched_entry = entry;
    return entry.link.pid != pid;
  });
  EXPECT_EQ(launched_entry.link.session, pid);

  const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
  for (const auto& item : fs::directory_iterator(fds)) {
    // One the program closed since the listing (its runtime starting up,
    // say) was its own, not one it inherited.
    std::error_code closed;
    const fs::path target = fs::read_symlink(item.path(), closed);
    if (closed) continue;
    const int fd = std::stoi(item.path().filename().string());
    if (fd <= 2) {
      EXPECT_EQ(target, "/dev/null") << fd;
    }
    EXPECT_NE(target, marker) << fd;
  }
}

TEST_F(ProcessOps, ServerWhoseProgramFileWasRemovedOrReplacedIsStillFound) {
  enum class Change { Remove, Replace, Keep };
  const struct {
    const char* file_name;
    Change change;
    bool found;
  } cases[] = {
      {"DAZEVAVIZ.EXE", Change::Remove, true},
      {"DAZEVAVIZ.EXE", Change::Replace, true},
      // The kernel's mark is only dropped when it is not part of the name.
      {"DAZEVAVIZ.EXE (deleted)", Change::Keep, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file_name);
    const fs::path program = copy(c.file_name);
    const TrialProcess server(program, with_safety({"--port", "0"}));
    ASSERT_TRUE(server.started());
    ASSERT_TRUE(testing::wait_until([&] { return runs(from_utf8(c.file_name)); }, 10s));
    if (c.change != Change::Keep) fs::remove(program);
    if (c.change == Change::Replace) copy(c.file_name);
    EXPECT_EQ(VerificaProcesso(kServer), c.found ? server.pid() : 0u);
  }
}
#endif

TEST_F(ProcessOps, ForcedTerminationEndsEveryServerWithItsChildren) {
  struct Tree {
    std::string child_name;
    std::string child_style;
  };
  std::vector<Tree> trees = {{"CHILDA.EXE", "plain"}};
#ifdef _WIN32
  trees.push_back({"CHILDB.EXE", "plain"});
#else
  // A child in a session of its own, and one whose parent ended at once.
  trees.push_back({"CHILDB.EXE", "session"});
  trees.push_back({"CHILDC.EXE", "orphan"});
#endif
  std::vector<std::uint32_t> servers;  // as launched
  for (const Tree& tree : trees) {
    const fs::path child = copy(tree.child_name);
    const fs::path port_file = dir() / ("port-" + tree.child_name);
    const LaunchOutcome launched = LaunchProgram(testing::command_line(
        testing::trial_server_path(),
        with_safety({"--port", "0", "--port-file", testing::quoted(port_file), "--spawn-child",
                     "--child-image", testing::quoted(child), "--child-style", tree.child_style})));
    ASSERT_TRUE(launched);
    servers.push_back(launched.pid);
    // Listening, so its child has been started (and, on Wine, its console is
    // fully set up: ending a program while it starts leaves its console behind).
    ASSERT_NE(testing::read_port_file(port_file, 20s), 0) << tree.child_name;
  }
  // A program of a similar name is not touched.
  const fs::path bystander = copy("DAZEVAVIZ.EXE.OLD");
  const TrialProcess kept(bystander, with_safety({"--port", "0"}));
  for (const Tree& tree : trees) {
    ASSERT_TRUE(testing::wait_until([&] { return runs(from_utf8(tree.child_name)); }, 20s))
        << tree.child_name << " did not start";
  }
  ASSERT_TRUE(runs(kServer));
  const auto all_ended = [&] {
    bool any = runs(kServer);
    for (const Tree& tree : trees) any = any || runs(from_utf8(tree.child_name));
    return !any;
  };

#ifdef _WIN32
  if (!taskkill_accepts_tree_option()) {
    // The system's taskkill rejects /t and with it the whole command; what it
    // can do is end the servers by name, without their children.
    ASSERT_TRUE(StartSystemTool(kTaskEndingTool, kWithoutTreeOption));
    EXPECT_TRUE(testing::wait_until([] { return !runs(kServer); }, 30s));
    EXPECT_EQ(VerificaProcesso(u"DAZEVAVIZ.EXE.OLD"), kept.pid());
    GTEST_SKIP() << "this system's taskkill does not accept /t: \"" << kForcedTerminationCommand
                 << "\" ends nothing here; only the ending by name was tested";
  }
#endif
  std::vector<std::uint32_t> children;
  for (const Tree& tree : trees) {
    for (std::uint32_t pid : FindProcesses(from_utf8(tree.child_name))) children.push_back(pid);
  }
  const TerminationReport report = ForceTerminateServer();
  EXPECT_TRUE(testing::wait_until(all_ended, 30s));
  EXPECT_EQ(VerificaProcesso(u"DAZEVAVIZ.EXE.OLD"), kept.pid());
  EXPECT_TRUE(ProcessRunning(kept.pid()));

  // The report names every server (and on Linux every child too, each
  // killed); none of them runs any more.
  EXPECT_TRUE(report.tool_started);
  std::set<std::uint32_t> reported;
  for (const TerminationTarget& target : report.targets) {
    EXPECT_TRUE(target.ended) << target.pid;
    // The kill is not waited for: a process ends a little after it.
    EXPECT_TRUE(testing::wait_until([&] { return !ProcessRunning(target.pid); }, 30s))
        << target.pid;
    reported.insert(target.pid);
  }
  for (std::uint32_t pid : servers) EXPECT_EQ(reported.count(pid), 1u) << pid;
#ifndef _WIN32
  ASSERT_EQ(children.size(), trees.size());
  for (std::uint32_t pid : children) EXPECT_EQ(reported.count(pid), 1u) << pid;
#endif
  EXPECT_EQ(reported.count(kept.pid()), 0u);
}

#ifdef _WIN32
TEST_F(ProcessOps, ForcedTerminationRunsTheSystemsTaskkillNotOneFoundFirst) {
  // A search for "taskkill" looks in the program's directory and then in the
  // current one before the system directory: each holds a decoy.
  const fs::path program_dir = dir() / "program";
  const fs::path current_dir = dir() / "current";
  for (const fs::path& folder : {program_dir, current_dir}) {
    fs::create_directories(folder);
    fs::copy_file(beside_this_test(L"decoy_taskkill.exe"), folder / "taskkill.exe");
  }
  const fs::path terminator = program_dir / "terminate_from_here.exe";
  fs::copy_file(beside_this_test(L"terminate_from_here.exe"), terminator);

  const TrialProcess server(testing::trial_server_path(), with_safety({"--port", "0"}));
  ASSERT_TRUE(server.started());
  ASSERT_TRUE(testing::wait_until([] { return runs(kServer); }, 10s));
  std::wstring line = L"\"" + terminator.wstring() + L"\"";
  if (!taskkill_accepts_tree_option()) {
    // The fixed command would end nothing here: the same tool, by name only.
    const std::string command = kWithoutTreeOption;
    line += L" \"" + std::wstring(command.begin(), command.end()) + L"\"";
  }
  ASSERT_EQ(exit_code_of_run(terminator.wstring(), line, current_dir.wstring()), 0);

  // Only the system's tool ends the server; a decoy leaves its mark instead.
  EXPECT_TRUE(testing::wait_until([] { return !runs(kServer); }, 30s));
  EXPECT_TRUE(testing::wait_until([] { return !runs(u"taskkill.exe"); }, 30s));
  EXPECT_FALSE(fs::exists(program_dir / "decoy-ran"));
  EXPECT_FALSE(fs::exists(current_dir / "decoy-ran"));
}
#endif

#ifndef _WIN32
// Zombies of the trial server in the test run's process list.
std::size_t zombie_servers() {
  std::size_t count = 0;
  ForEachProcess(false, [&](const ProcessEntry& entry) {
    if (entry.state == 'Z') {
      std::ifstream comm("/proc/" + std::to_string(entry.link.pid) + "/comm");
      std::string name;
      count += std::getline(comm, name) && name == "DAZEVAVIZ.EXE";
    }
    return true;
  });
  return count;
}
#endif

// Wine's process creation fails now and then with an internal error when it
// gives the new program a console of its own, on a busy machine about once in
// a thousand starts. The rounds test what their programs leave behind, not
// the emulator, so such a start is made again; any other failure fails.
bool is_emulated_start_fault(int error) {
#ifdef _WIN32
  return error == ERROR_INTERNAL_ERROR;
#else
  (void)error;
  return false;
#endif
}

// Calls `start` (which gives a system error code, 0 when it started) again
// while it fails by the emulator's fault, three times at most.
template <typename Start>
int start_with_retry(Start start) {
  int error = start();
  for (int attempt = 1; attempt < 3 && is_emulated_start_fault(error); ++attempt) error = start();
  return error;
}

TEST_F(ProcessOps, ManyLaunchAndKillRoundsLeaveNoZombieAndNoHandle) {
  constexpr int kRounds = 200;
  const std::size_t handles = testing::open_handle_count();
  const std::size_t children = testing::child_process_count();
  // 0 when the ending was set off (the tool started, or every kill was
  // accepted), else the system's error; it is not waited for.
  std::function<int()> end_servers = [] {
    const TerminationReport report = ForceTerminateServer();
    if (!report.tool_started) return report.tool_error;
    for (const TerminationTarget& target : report.targets) {
      if (!target.ended) return target.error;
    }
    return 0;
  };
#ifdef _WIN32
  if (!taskkill_accepts_tree_option()) {
    std::cout << "[ NOTE     ] this system's taskkill does not accept /t; the rounds end the "
                 "servers with \"" << kWithoutTreeOption << "\"\n";
    end_servers = [] {
      return StartSystemTool(kTaskEndingTool, kWithoutTreeOption) ? 0
                                                                 : static_cast<int>(::GetLastError());
    };
  }
#endif
  for (int round = 0; round < kRounds; ++round) {
    // Each server is ended once it listens, and the next one started once it
    // is gone (the ending by name would take the next one too): Wine leaves
    // the console of a program ended while starting up behind for good.
    const fs::path port_file = dir() / ("port" + std::to_string(round));
    LaunchOutcome launched;
    const int launch_error = start_with_retry([&] {
      launched = LaunchProgram(testing::command_line(
          testing::trial_server_path(),
          with_safety({"--port", "0", "--port-file", testing::quoted(port_file)})));
      return launched.error;
    });
    ASSERT_TRUE(launched) << "round " << round << ": error " << launch_error;
    ASSERT_NE(testing::read_port_file(port_file, 10s), 0) << "round " << round;
    ASSERT_EQ(start_with_retry(end_servers), 0) << "round " << round;
    ASSERT_TRUE(testing::wait_until([] { return !runs(kServer); }, 30s))
        << "round " << round << ": server " << launched.pid << " still runs"
        << (ProcessRunning(launched.pid) ? "" : " (another server runs)") << "; "
        << FindProcesses(u"taskkill.exe").size() << " task-ending tools still run";
  }
  // The started programs were never this process's children; the tools that
  // ended them (where there are such) end by themselves.
  EXPECT_TRUE(testing::wait_until(
      [&] { return testing::child_process_count() == children; }, 60s));
  EXPECT_EQ(testing::open_handle_count(), handles);
#ifndef _WIN32
  // Not this program's to collect but the private list's process 1's: shown
  // for information only.
  const std::size_t orphans = zombie_servers();
  testing::wait_until([] { return zombie_servers() == 0; }, 20s);
  std::cout << "[ NOTE     ] ended servers not yet collected by the reaper: " << orphans
            << " right after the rounds, " << zombie_servers() << " 20 s later at most\n";
#endif
}

}  // namespace
}  // namespace wardenix
