#include "trialserver/socket.h"

#include "trialserver/socket_calls.h"

namespace wardenix::trial {
namespace {

using socket_calls::kNoSocket;

// Waits are cut into slices only so that each stays within what every
// system's wait takes; a stop ends any of them at once.
constexpr Millis kLongestWait{60000};
// Not every system ends a receive that already waits when another thread
// shuts the socket down (under Wine it may wait on for ever): a receive
// waits in slices this long and looks at the connection's own flag between
// them.
constexpr Millis kShutDownSlice{50};

}  // namespace

Connection::~Connection() { socket_calls::close(handle_); }

std::ptrdiff_t Connection::receive(std::span<std::byte> buffer) {
  while (!socket_calls::wait_readable(handle_, kShutDownSlice)) {
    if (shut_.load()) return 0;
  }
  return shut_.load() ? 0 : socket_calls::receive(handle_, buffer);
}

bool Connection::send_all(std::span<const std::byte> bytes) {
  while (!bytes.empty()) {
    const std::ptrdiff_t n = socket_calls::send(handle_, bytes);
    if (n <= 0) return false;
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return true;
}

bool Connection::wait_readable(Millis timeout) { return socket_calls::wait_readable(handle_, timeout); }

void Connection::shut_down() {
  shut_.store(true);
  socket_calls::shut_down(handle_);
}

Listener::~Listener() {
  if (handle_ != kNoSocket) socket_calls::close(handle_);
}

bool Listener::open(std::uint16_t port, Reach reach, int backlog) {
  handle_ = socket_calls::open_tcp();
  if (handle_ == kNoSocket) return false;
  port_ = socket_calls::bind_and_listen(handle_, port, reach, backlog);
  return port_ != 0;
}

std::unique_ptr<Connection> Listener::accept_within(Millis timeout) {
  if (stopped_.load() || !socket_calls::wait_readable(handle_, timeout) || stopped_.load()) {
    return nullptr;
  }
  const std::intptr_t handle = socket_calls::accept(handle_);
  if (handle == kNoSocket) return nullptr;
  // A reply can leave in several writes (a more_blob chunk and its tail):
  // with Nagle's algorithm the last would wait for the client's delayed
  // acknowledgement.
  socket_calls::send_without_delay(handle);
  return std::make_unique<Connection>(handle);
}

std::unique_ptr<Connection> Listener::accept() {
  while (!stopped_.load()) {
    if (auto connection = accept_within(kLongestWait)) return connection;
  }
  return nullptr;
}

void Listener::stop() {
  stopped_.store(true);
  if (port_ != 0) connect_loopback(port_);  // wakes the wait; closed again at once
}

std::unique_ptr<Connection> connect_loopback(std::uint16_t port) {
  const std::intptr_t handle = socket_calls::open_tcp();
  if (handle == kNoSocket) return nullptr;
  auto connection = std::make_unique<Connection>(handle);
  if (!socket_calls::connect_loopback(handle, port)) return nullptr;
  return connection;
}

}  // namespace wardenix::trial
