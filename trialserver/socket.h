#pragma once
// TCP for the trial server: a listener and the connections it accepts.
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

 private:
  std::intptr_t handle_;
};

class Listener {
 public:
  Listener() = default;
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // Listens on `port` of every local address; false when it cannot.
  bool open(std::uint16_t port);
  // The port listened on (the chosen one when opened with 0).
  std::uint16_t port() const { return port_; }
  // The next connection, or null when none came within `timeout`.
  std::unique_ptr<Connection> accept_within(Millis timeout);

 private:
  std::intptr_t handle_ = -1;
  std::uint16_t port_ = 0;
};

// A connection to `port` on the loopback address, or null; for tests.
std::unique_ptr<Connection> connect_loopback(std::uint16_t port);

}  // namespace wardenix::trial
