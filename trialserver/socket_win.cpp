#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>

#include "trialserver/socket.h"

namespace wardenix::trial {
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

Connection::~Connection() { ::closesocket(socket_of(handle_)); }

std::ptrdiff_t Connection::receive(std::span<std::byte> buffer) {
  const int n = ::recv(socket_of(handle_), reinterpret_cast<char*>(buffer.data()),
                       clamp_size(buffer.size()), 0);
  return n < 0 ? -1 : n;
}

bool Connection::send_all(std::span<const std::byte> bytes) {
  while (!bytes.empty()) {
    const int n = ::send(socket_of(handle_), reinterpret_cast<const char*>(bytes.data()),
                         clamp_size(bytes.size()), 0);
    if (n <= 0) return false;
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return true;
}

namespace {

bool wait_for(SOCKET s, Millis timeout) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  const auto ms = timeout.count() > INT_MAX ? INT_MAX : timeout.count();
  timeval wait{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000 * 1000)};
  return ::select(0, &readable, nullptr, nullptr, &wait) > 0;
}

}  // namespace

bool Connection::wait_readable(Millis timeout) { return wait_for(socket_of(handle_), timeout); }

void Connection::shut_down() { ::shutdown(socket_of(handle_), SD_BOTH); }

Listener::~Listener() {
  if (handle_ != -1) ::closesocket(socket_of(handle_));
}

bool Listener::open(std::uint16_t port, Reach reach, int backlog) {
  if (!start_winsock()) return false;
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return false;
  handle_ = static_cast<std::intptr_t>(s);
  // Exclusive use, so that a second server on the same port fails as it
  // would on any system.
  const BOOL on = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
  sockaddr_in a = address(reach == Reach::Loopback ? INADDR_LOOPBACK : INADDR_ANY, port);
  int size = sizeof a;
  if (backlog == kLongestQueue) backlog = SOMAXCONN;
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s, backlog) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
    return false;
  }
  port_ = ntohs(a.sin_port);
  return true;
}

std::unique_ptr<Connection> Listener::accept_within(Millis timeout) {
  if (stopped_.load() || !wait_for(socket_of(handle_), timeout) || stopped_.load()) return nullptr;
  const SOCKET s = ::accept(socket_of(handle_), nullptr, nullptr);
  if (s == INVALID_SOCKET) return nullptr;
  // No Nagle delay between the writes of one reply: see socket_posix.cpp.
  const BOOL on = TRUE;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  return std::make_unique<Connection>(static_cast<std::intptr_t>(s));
}

std::unique_ptr<Connection> connect_loopback(std::uint16_t port) {
  if (!start_winsock()) return nullptr;
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return nullptr;
  auto connection = std::make_unique<Connection>(static_cast<std::intptr_t>(s));
  const sockaddr_in a = address(INADDR_LOOPBACK, port);
  if (::connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) return nullptr;
  return connection;
}

}  // namespace wardenix::trial
