#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "trialserver/socket_calls.h"

namespace wardenix::trial::socket_calls {
namespace {

int fd_of(std::intptr_t handle) { return static_cast<int>(handle); }

sockaddr_in address(std::uint32_t host, std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(host);
  a.sin_port = htons(port);
  return a;
}

}  // namespace

std::intptr_t open_tcp() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  return fd < 0 ? kNoSocket : fd;
}

void close(std::intptr_t handle) { ::close(fd_of(handle)); }

std::uint16_t bind_and_listen(std::intptr_t handle, std::uint16_t port, Reach reach, int backlog) {
  const int fd = fd_of(handle);
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a = address(reach == Reach::Loopback ? INADDR_LOOPBACK : INADDR_ANY, port);
  socklen_t size = sizeof a;
  if (backlog == Listener::kLongestQueue) backlog = SOMAXCONN;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, backlog) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
    return 0;
  }
  return ntohs(a.sin_port);
}

std::intptr_t accept(std::intptr_t listener) {
  const int fd = ::accept4(fd_of(listener), nullptr, nullptr, SOCK_CLOEXEC);
  return fd < 0 ? kNoSocket : fd;
}

bool connect_loopback(std::intptr_t handle, std::uint16_t port) {
  const sockaddr_in a = address(INADDR_LOOPBACK, port);
  return ::connect(fd_of(handle), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
}

void send_without_delay(std::intptr_t handle) {
  const int on = 1;
  ::setsockopt(fd_of(handle), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

std::ptrdiff_t receive(std::intptr_t handle, std::span<std::byte> buffer) {
  while (true) {
    const ssize_t n = ::recv(fd_of(handle), buffer.data(), buffer.size(), 0);
    if (n >= 0 || errno != EINTR) return n < 0 ? -1 : n;
  }
}

std::ptrdiff_t send(std::intptr_t handle, std::span<const std::byte> bytes) {
  while (true) {
    const ssize_t n = ::send(fd_of(handle), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n >= 0 || errno != EINTR) return n < 0 ? -1 : n;
  }
}

bool wait_readable(std::intptr_t handle, Millis timeout) {
  pollfd waiting{fd_of(handle), POLLIN, 0};
  const auto ms = timeout.count() > INT_MAX ? INT_MAX : static_cast<int>(timeout.count());
  return ::poll(&waiting, 1, ms) > 0;
}

void shut_down(std::intptr_t handle) { ::shutdown(fd_of(handle), SHUT_RDWR); }

}  // namespace wardenix::trial::socket_calls
