#include <atomic>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "mainloop/clock.h"
#include "tests/trialserver/harness/trial_harness.h"

namespace wardenix::testing {
namespace fs = std::filesystem;

fs::path copy_trial_server(const fs::path& dir, const std::string& file_name) {
  const fs::path target = dir / fs::path(std::u8string(file_name.begin(), file_name.end()));
  fs::copy_file(trial_server_path(), target, fs::copy_options::overwrite_existing);
  return target;
}

void write_arguments_file(const fs::path& dir, const std::vector<std::string>& arguments) {
  std::ofstream out(dir / "DAZEVAVIZ.ARGS", std::ios::binary | std::ios::trunc);
  for (const std::string& argument : arguments) out << argument << '\n';
}

UString path_text(const fs::path& path) {
  const std::u8string text = path.u8string();
  return from_utf8(std::string(text.begin(), text.end()));
}

std::string quoted(const fs::path& path) {
  std::string text(1, '"');
  text.append(to_utf8(path_text(path))).push_back('"');
  return text;
}

UString command_line(const fs::path& program, const std::vector<std::string>& arguments) {
  std::string line = quoted(program);
  for (const std::string& argument : arguments) line.append(1, ' ').append(argument);
  return from_utf8(line);
}

bool wait_until(const std::function<bool()>& condition, milliseconds timeout) {
  const auto clock = make_system_clock();
  const Millis deadline = clock->now() + timeout;
  while (!condition()) {
    if (clock->now() >= deadline) return condition();
    clock->sleep_for(Millis(20));
  }
  return true;
}

std::uint16_t read_port_file(const fs::path& port_file, milliseconds timeout) {
  unsigned port = 0;
  wait_until(
      [&] {
        std::ifstream in(port_file);
        return static_cast<bool>(in >> port);
      },
      timeout);
  return static_cast<std::uint16_t>(port);
}

}  // namespace wardenix::testing
