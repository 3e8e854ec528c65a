#include "trialserver/server.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "trialserver/process.h"

namespace wardenix::trial {
namespace {

// Waits are cut into slices so that the deadline is looked at now and then.
constexpr Millis kLongestWait{60000};

void complain(const std::string& what) { std::fprintf(stderr, "DAZEVAVIZ.EXE: %s\n", what.c_str()); }

// Written under another name first, so that a reader never sees half a port.
bool write_port_file(const std::string& path, std::uint16_t port) {
  const std::filesystem::path target(std::u8string(path.begin(), path.end()));
  std::filesystem::path partial = target;
  partial += ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out << port << '\n';
    if (!out.flush()) return false;
  }
  std::error_code error;
  std::filesystem::rename(partial, target, error);
  return !error;
}

Millis time_left(Clock& clock, Millis deadline) {
  if (deadline == kNoDeadline) return kLongestWait;
  const Millis left = deadline - clock.now();
  return left < kLongestWait ? left : kLongestWait;
}

}  // namespace

void hold_until_closed(Connection& connection) {
  std::byte buffer[4096];
  while (connection.receive(buffer) > 0) {
  }
}

int run_server(const TrialOptions& options, Clock& clock, const Session& session) {
  const Millis deadline = options.exit_after_seconds
                              ? clock.now() + Millis(std::int64_t{*options.exit_after_seconds} * 1000)
                              : kNoDeadline;

  if (options.spawn_child) {
    const std::string program =
        options.child_image.empty() ? own_executable_path() : options.child_image;
    if (!start_child(program, child_arguments(options), options.child_style)) {
      complain("cannot start the child " + program);
      return 2;
    }
  }

  if (options.mode == FaultMode::Child) {
    for (Millis wait = time_left(clock, deadline); wait.count() > 0;
         wait = time_left(clock, deadline)) {
      clock.sleep_for(wait);
    }
    return 0;
  }

  Listener listener;
  if (!listener.open(options.port)) {
    complain("cannot listen on port " + std::to_string(options.port));
    return 1;
  }
  if (!options.port_file.empty() && !write_port_file(options.port_file, listener.port())) {
    complain("cannot write " + options.port_file);
    return 2;
  }

  std::vector<std::unique_ptr<Connection>> held;  // hang mode: kept open, never read
  for (Millis wait = time_left(clock, deadline); wait.count() > 0;
       wait = time_left(clock, deadline)) {
    std::unique_ptr<Connection> connection = listener.accept_within(wait);
    if (!connection) continue;
    switch (options.mode) {
      case FaultMode::Refuse:
        break;  // closed here
      case FaultMode::Hang:
        held.push_back(std::move(connection));
        break;
      case FaultMode::Accept:
      case FaultMode::Child:
      case FaultMode::CallHang:
      case FaultMode::CallError:
      case FaultMode::NullResult:
      case FaultMode::CutReply: {
        std::shared_ptr<Connection> shared(std::move(connection));
        clock.start_thread([shared, session] { session(*shared); });
        break;
      }
    }
  }
  return 0;
}

}  // namespace wardenix::trial
