#pragma once
// The deadline of the commands that reach the server (probe, call, methods):
// once it passes, whatever the connection is blocked in is ended, as the
// watchdogs end a hanging connect or call.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>

#include "datasnap/sql_connection.h"
#include "mainloop/clock.h"

namespace wardenix {

// --deadline MS when not given.
inline constexpr std::uint32_t kDefaultDeadlineMs = 10000;

// A number of milliseconds from the command line, at most a day (larger
// times are mistakes); none when the text is not one.
std::optional<std::uint32_t> parse_milliseconds(std::string_view text);

// Watches the deadline, in real time, from a thread of its own while it
// exists.
class DeadlineWatch {
 public:
  // `passing` runs on the watch's thread when the deadline passes, before the
  // abort: it notes where the command was. What it notes may be read once
  // stop() has returned.
  DeadlineWatch(TSQLConnection& connection, std::chrono::milliseconds limit,
                std::function<void()> passing);
  DeadlineWatch(const DeadlineWatch&) = delete;
  DeadlineWatch& operator=(const DeadlineWatch&) = delete;
  ~DeadlineWatch() { stop(); }

  // Stops watching; true when the deadline passed.
  bool stop();

 private:
  const std::unique_ptr<Clock> clock_;
  const std::unique_ptr<WakeSignal> stopped_;
  bool passed_ = false;  // written by the thread, read once it is joined
  std::thread thread_;   // last: it starts once the rest exists
};

}  // namespace wardenix
