#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>

#include "trialserver/socket_calls.h"

namespace wardenix::trial::socket_calls {
namespace {

SOCKET socket_of(std::intptr_t handle) { return static_cast<SOCKET>(handle); }

bool start_winsock() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

sockaddr_in address(std::uint32_t host, std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(host);
  a.sin_port = htons(port);
  return a;
}

int clamp_size(std::size_t size) { return size > INT_MAX ? INT_MAX : static_cast<int>(size); }

}  // namespace

std::intptr_t open_tcp() {
  if (!start_winsock()) return kNoSocket;
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  return s == INVALID_SOCKET ? kNoSocket : static_cast<std::intptr_t>(s);
}

void close(std::intptr_t handle) { ::closesocket(socket_of(handle)); }

std::uint16_t bind_and_listen(std::intptr_t handle, std::uint16_t port, Reach reach, int backlog) {
  const SOCKET s = socket_of(handle);
  // Exclusive use, so that a second server on the same port fails as it
  // would on any system.
  const BOOL on = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
  sockaddr_in a = address(reach == Reach::Loopback ? INADDR_LOOPBACK : INADDR_ANY, port);
  int size = sizeof a;
  if (backlog == Listener::kLongestQueue) backlog = SOMAXCONN;
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s, backlog) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
    return 0;
  }
  return ntohs(a.sin_port);
}

std::intptr_t accept(std::intptr_t listener) {
  const SOCKET s = ::accept(socket_of(listener), nullptr, nullptr);
  return s == INVALID_SOCKET ? kNoSocket : static_cast<std::intptr_t>(s);
}

bool connect_loopback(std::intptr_t handle, std::uint16_t port) {
  const sockaddr_in a = address(INADDR_LOOPBACK, port);
  return ::connect(socket_of(handle), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
}

void send_without_delay(std::intptr_t handle) {
  const BOOL on = TRUE;
  ::setsockopt(socket_of(handle), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
               sizeof on);
}

std::ptrdiff_t receive(std::intptr_t handle, std::span<std::byte> buffer) {
  const int n = ::recv(socket_of(handle), reinterpret_cast<char*>(buffer.data()),
                       clamp_size(buffer.size()), 0);
  return n < 0 ? -1 : n;
}

std::ptrdiff_t send(std::intptr_t handle, std::span<const std::byte> bytes) {
  const int n = ::send(socket_of(handle), reinterpret_cast<const char*>(bytes.data()),
                       clamp_size(bytes.size()), 0);
  return n < 0 ? -1 : n;
}

bool wait_readable(std::intptr_t handle, Millis timeout) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket_of(handle), &readable);
  const auto ms = timeout.count() > INT_MAX ? INT_MAX : timeout.count();
  timeval wait{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000 * 1000)};
  return ::select(0, &readable, nullptr, nullptr, &wait) > 0;
}

void shut_down(std::intptr_t handle) { ::shutdown(socket_of(handle), SD_BOTH); }

}  // namespace wardenix::trial::socket_calls
