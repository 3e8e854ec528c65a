#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "trialserver/socket.h"

namespace wardenix::trial {
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

Connection::~Connection() { ::close(fd_of(handle_)); }

std::ptrdiff_t Connection::receive(std::span<std::byte> buffer) {
  while (true) {
    const ssize_t n = ::recv(fd_of(handle_), buffer.data(), buffer.size(), 0);
    if (n >= 0 || errno != EINTR) return n < 0 ? -1 : n;
  }
}

bool Connection::send_all(std::span<const std::byte> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd_of(handle_), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return true;
}

void Connection::shut_down() { ::shutdown(fd_of(handle_), SHUT_RDWR); }

bool Connection::wait_readable(Millis timeout) {
  pollfd waiting{fd_of(handle_), POLLIN, 0};
  const auto ms = timeout.count() > INT_MAX ? INT_MAX : static_cast<int>(timeout.count());
  return ::poll(&waiting, 1, ms) > 0;
}

Listener::~Listener() {
  if (handle_ >= 0) ::close(fd_of(handle_));
}

bool Listener::open(std::uint16_t port, Reach reach, int backlog) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  handle_ = fd;
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a = address(reach == Reach::Loopback ? INADDR_LOOPBACK : INADDR_ANY, port);
  socklen_t size = sizeof a;
  if (backlog == kLongestQueue) backlog = SOMAXCONN;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, backlog) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
    return false;
  }
  port_ = ntohs(a.sin_port);
  return true;
}

std::unique_ptr<Connection> Listener::accept_within(Millis timeout) {
  pollfd waiting{fd_of(handle_), POLLIN, 0};
  const auto ms = timeout.count() > INT_MAX ? INT_MAX : static_cast<int>(timeout.count());
  if (stopped_.load() || ::poll(&waiting, 1, ms) <= 0 || stopped_.load()) return nullptr;
  const int fd = ::accept4(fd_of(handle_), nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return nullptr;
  // A reply can leave in several writes (a more_blob chunk and its tail):
  // with Nagle's algorithm the last would wait for the client's delayed
  // acknowledgement.
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return std::make_unique<Connection>(fd);
}

std::unique_ptr<Connection> connect_loopback(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  auto connection = std::make_unique<Connection>(fd);
  const sockaddr_in a = address(INADDR_LOOPBACK, port);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) return nullptr;
  return connection;
}

}  // namespace wardenix::trial
