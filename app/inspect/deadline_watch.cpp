#include "app/inspect/deadline_watch.h"

#include <charconv>

namespace wardenix {

std::optional<std::uint32_t> parse_milliseconds(std::string_view text) {
  constexpr std::uint32_t kLongestMs = 86400000;
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > kLongestMs) return std::nullopt;
  return value;
}

DeadlineWatch::DeadlineWatch(TSQLConnection& connection, std::chrono::milliseconds limit,
                             std::function<void()> passing)
    : clock_(make_system_clock()),
      stopped_(clock_->make_signal()),
      thread_([this, &connection, limit, passing = std::move(passing)] {
        if (stopped_->wait_until(clock_->now() + limit)) return;
        passed_ = true;
        if (passing) passing();
        connection.AbortBlockedCall();
      }) {}

bool DeadlineWatch::stop() {
  if (thread_.joinable()) {
    stopped_->set();
    thread_.join();
  }
  return passed_;
}

}  // namespace wardenix
