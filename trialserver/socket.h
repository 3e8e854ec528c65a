#pragma once
// The server side of TCP: a listener and the connections it accepts, for the
// trial server and for the servers that tests run in-process. Accepted
// connections send without Nagle's delay.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "mainloop/clock.h"

namespace wardenix::trial {

// One TCP connection; closed when destroyed.
class Connection {
 public:
  explicit Connection(std::intptr_t handle) : handle_(handle) {}
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Bytes received (at most `buffer.size()`), 0 when the peer closed, -1 on error.
  std::ptrdiff_t receive(std::span<std::byte> buffer);
  bool send_all(std::span<const std::byte> bytes);
  // True when bytes or the peer's close arrived within `timeout`.
  bool wait_readable(Millis timeout);
  // Ends the connection both ways, from any thread: a receive that waits
  // returns 0 at once, as later ones do, and sends fail. The handle stays
  // until the owner destroys the connection.
  void shut_down();

 private:
  std::intptr_t handle_;
  std::atomic<bool> shut_{false};
};

// Which addresses a listener takes connections on.
enum class Reach { AnyAddress, Loopback };

class Listener {
 public:
  // The queue length the system allows at most.
  static constexpr int kLongestQueue = -1;

  Listener() = default;
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // Listens on `port` (0: a free one) with room for `backlog` connections
  // not yet accepted; false when it cannot.
  bool open(std::uint16_t port, Reach reach = Reach::AnyAddress, int backlog = kLongestQueue);
  // The port listened on (the chosen one when opened with 0).
  std::uint16_t port() const { return port_; }
  // The next connection, or null when none came within `timeout` or the
  // listener was stopped.
  std::unique_ptr<Connection> accept_within(Millis timeout);
  // The next connection, waiting as long as it takes; null once stopped.
  std::unique_ptr<Connection> accept();
  // Ends a waiting accept at once, and every later one, from any thread:
  // it wakes the wait with a connection of its own, which is never taken.
  void stop();

 private:
  std::intptr_t handle_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopped_{false};
};

// A connection to `port` on the loopback address, or null.
std::unique_ptr<Connection> connect_loopback(std::uint16_t port);

}  // namespace wardenix::trial
