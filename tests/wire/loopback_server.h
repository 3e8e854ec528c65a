#pragma once
// A one-connection server on 127.0.0.1 for channel tests: it accepts one
// client and runs a session with the accepted channel on its own thread.
// Destroying it ends a session that still waits, at once.
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "trialserver/connection_channel.h"
#include "trialserver/socket.h"

namespace wardenix::test {

class LoopbackServer {
 public:
  using Session = std::function<void(std::unique_ptr<TDbxChannel>)>;

  explicit LoopbackServer(Session session) : session_(std::move(session)) {
    if (!listener_.open(0, trial::Reach::Loopback)) throw std::runtime_error("cannot listen");
    thread_ = std::thread([this] { Run(); });
  }

  ~LoopbackServer() {
    listener_.stop();
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      if (abort_) abort_->Trip();
    }
    thread_.join();
  }

  std::uint16_t Port() const { return listener_.port(); }

 private:
  void Run() {
    const auto connection = listener_.accept();
    if (!connection) return;
    auto channel = std::make_unique<trial::ConnectionChannel>(*connection);
    {
      std::lock_guard lock(mutex_);
      abort_ = channel->AbortHandle();
      if (stopping_) abort_->Trip();
    }
    try {
      session_(std::move(channel));
    } catch (...) {
      // A session ends with its client; failures show in the client's checks.
    }
  }

  Session session_;
  trial::Listener listener_;
  std::mutex mutex_;
  bool stopping_ = false;
  std::shared_ptr<AbortSwitch> abort_;
  std::thread thread_;
};

// Reads exactly `n` bytes, or fewer when the peer closes.
inline std::string ReadExactly(TDbxChannel& channel, std::size_t n) {
  std::string out;
  while (out.size() < n) {
    std::uint8_t buffer[4096];
    const std::size_t want = std::min(n - out.size(), sizeof buffer);
    const int got = channel.Read(std::span(buffer, want));
    if (got <= 0) break;
    out.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(got));
  }
  return out;
}

// Reads until the peer closes.
inline std::string ReadToEnd(TDbxChannel& channel) {
  std::string out;
  std::uint8_t buffer[4096];
  for (int got; (got = channel.Read(buffer)) > 0;) {
    out.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(got));
  }
  return out;
}

inline void WriteText(TDbxChannel& channel, const std::string& text) {
  channel.Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace wardenix::test
