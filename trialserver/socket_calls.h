#pragma once
// The system's socket calls under the listener and its connections
// (socket.h), one implementation per platform; socket.cpp holds the logic
// over them. A handle is the system's socket, widened to std::intptr_t.
#include <cstddef>
#include <cstdint>
#include <span>

#include "mainloop/clock.h"
#include "trialserver/socket.h"

namespace wardenix::trial::socket_calls {

inline constexpr std::intptr_t kNoSocket = -1;

// A new IPv4 TCP socket, or kNoSocket.
std::intptr_t open_tcp();
void close(std::intptr_t handle);

// Binds `socket` to `port` (0: a free one) on the addresses of `reach` and
// listens with room for `backlog` connections (Listener::kLongestQueue: as
// many as the system allows). A port already bound elsewhere is refused.
// The port bound, or 0 when it cannot.
std::uint16_t bind_and_listen(std::intptr_t handle, std::uint16_t port, Reach reach, int backlog);
// The next connection waiting on `listener`, or kNoSocket.
std::intptr_t accept(std::intptr_t listener);
bool connect_loopback(std::intptr_t handle, std::uint16_t port);
// Sends each write at once, without Nagle's delay.
void send_without_delay(std::intptr_t handle);

// Bytes received (at most `buffer.size()`), 0 when the peer closed, -1 on error.
std::ptrdiff_t receive(std::intptr_t handle, std::span<std::byte> buffer);
// Bytes sent (some of `bytes`), or -1 on error.
std::ptrdiff_t send(std::intptr_t handle, std::span<const std::byte> bytes);
// True when bytes or the peer's close arrived within `timeout`.
bool wait_readable(std::intptr_t handle, Millis timeout);
void shut_down(std::intptr_t handle);

}  // namespace wardenix::trial::socket_calls
