#pragma once
// Running trial servers (DAZEVAVIZ.EXE) and copies of them from tests.
//
// The test programs that use them run in a process list of their own
// (private_processes.h): on Linux, whatever they find or end by name is what
// they started themselves.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "runtime/ustring.h"
#include "tests/support/temp_dir.h"

namespace wardenix::testing {

using std::chrono::milliseconds;

// The built trial server, as this system names paths.
std::filesystem::path trial_server_path();

// Copies the trial server into `dir` under `file_name` (UTF-8).
std::filesystem::path copy_trial_server(const std::filesystem::path& dir, const std::string& file_name);

// Writes the arguments file that a trial server in `dir` started without
// arguments reads.
void write_arguments_file(const std::filesystem::path& dir, const std::vector<std::string>& arguments);

// A path as the program's text.
UString path_text(const std::filesystem::path& path);

// The path in double quotes, as one argument of a command line.
std::string quoted(const std::filesystem::path& path);

// A launch command line: the program quoted, then the arguments.
UString command_line(const std::filesystem::path& program, const std::vector<std::string>& arguments);

// Polls `condition` until it holds or `timeout` passed; the last result.
bool wait_until(const std::function<bool()>& condition, milliseconds timeout);

// The port a trial server wrote to `port_file`, or 0 when none came in time.
std::uint16_t read_port_file(const std::filesystem::path& port_file, milliseconds timeout);

// Ends every process of image name `image_name` (children not included)
// and returns once none is left or `timeout` passed; true when none is left.
// On Linux it ends nothing and answers false unless the program runs in its
// private process list (private_processes.h), where it sees only what the
// test started.
bool end_processes_named(UStringView image_name, milliseconds timeout);

// Handles (Windows) or file descriptors (elsewhere) this process holds.
std::size_t open_handle_count();

// Processes whose parent is this process, ended ones not yet collected included.
std::size_t child_process_count();

// A trial server started directly by the test and ended with it.
class TrialProcess {
 public:
  TrialProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments);
  ~TrialProcess();
  TrialProcess(const TrialProcess&) = delete;
  TrialProcess& operator=(const TrialProcess&) = delete;

  bool started() const { return pid_ != 0; }
  std::uint32_t pid() const { return pid_; }
  // The exit code once the process ended within `timeout`, else -1.
  int wait_for_exit(milliseconds timeout);

 private:
  std::uint32_t pid_ = 0;
  std::intptr_t handle_ = 0;
  int exit_code_ = -1;
};

}  // namespace wardenix::testing
