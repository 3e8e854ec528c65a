// POSIX sockets. The handle is non-blocking underneath; every wait is a
// poll on the socket and on a wake pipe, so that Abort() ends it at once.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "wire/socket_error.h"
#include "wire/tcp_socket.h"

namespace wardenix {

struct TcpSocket::Impl {
  int fd = -1;
  int wake_read = -1;
  int wake_write = -1;
  std::atomic<bool> aborted{false};
  bool connected = false;

  Impl() {
    int fds[2];
    if (::pipe(fds) == 0) {
      for (int f : fds) {
        ::fcntl(f, F_SETFL, ::fcntl(f, F_GETFL) | O_NONBLOCK);
        ::fcntl(f, F_SETFD, FD_CLOEXEC);
      }
      wake_read = fds[0];
      wake_write = fds[1];
    }
  }

  ~Impl() {
    close_handle();
    if (wake_read >= 0) ::close(wake_read);
    if (wake_write >= 0) ::close(wake_write);
  }

  void abort() {
    aborted.store(true);
    if (wake_write >= 0) {
      const char byte = 1;
      [[maybe_unused]] const ssize_t ignored = ::write(wake_write, &byte, 1);
    }
  }

  void close_handle() {
    if (fd >= 0) ::close(fd);
    fd = -1;
    connected = false;
  }

  // Waits until the socket is ready for `events`; false when aborted.
  bool wait(short events) {
    for (;;) {
      if (aborted.load()) return false;
      pollfd fds[2] = {{fd, events, 0}, {wake_read, POLLIN, 0}};
      const int r = ::poll(fds, wake_read >= 0 ? 2 : 1, -1);
      if (r < 0 && errno == EINTR) continue;
      if (aborted.load()) return false;
      return true;
    }
  }

  void adopt(int handle) {
    fd = handle;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    // A request often leaves in two writes before its reply is read (a
    // command's close, then the next prepare); held back by Nagle's
    // algorithm, the second waits for the peer's delayed acknowledgement,
    // about 40 ms a time. The bytes on the wire stay the same.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
};

namespace {

// The first IPv4 address of `host`; the getaddrinfo error when there is none.
int lookup_ipv4(UStringView host, in_addr& into) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int error = ::getaddrinfo(to_utf8(host).c_str(), nullptr, &hints, &found);
  if (error != 0) return error;
  if (!found) return EAI_NONAME;
  into = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  ::freeaddrinfo(found);
  return 0;
}

[[noreturn]] void raise_errno(int error, UStringView api) {
  RaiseSocketError(from_utf8(std::generic_category().message(error)), error, api);
}

}  // namespace

std::optional<UString> HostLookupError(UStringView host) {
  if (host.empty()) return UString(u"No address specified");
  in_addr address{};
  const int error = lookup_ipv4(host, address);
  if (error == 0) return std::nullopt;
  return from_utf8(error == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(error));
}

TcpSocket::TcpSocket() : impl_(std::make_unique<Impl>()) {}

TcpSocket::~TcpSocket() {
  if (abort_switch_) abort_switch_->Detach();
}

void TcpSocket::Create() {
  if (impl_->fd >= 0) throw ESocketError(u"Socket already open");
  const int fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (fd < 0) throw ESocketError(u"Can't create new socket");
  impl_->adopt(fd);
}

bool TcpSocket::IsActive() const { return impl_->fd >= 0; }
bool TcpSocket::IsConnected() const { return impl_->connected; }

void TcpSocket::Connect(UStringView host, std::int32_t port) {
  if (host.empty()) throw ESocketError(u"No address specified");
  if (impl_->fd < 0) Create();
  if (impl_->aborted.load()) raise_errno(ECONNABORTED, u"connect");

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (lookup_ipv4(host, address.sin_addr) != 0) {
    // An unknown host must not connect anywhere: 0.0.0.0 would reach this
    // machine here.
    raise_errno(EADDRNOTAVAIL, u"connect");
  }
  if (port <= 0 || port > 65535) raise_errno(EADDRNOTAVAIL, u"connect");
  if (impl_->aborted.load()) raise_errno(ECONNABORTED, u"connect");

  if (::connect(impl_->fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EINPROGRESS && errno != EINTR) raise_errno(errno, u"connect");
    if (!impl_->wait(POLLOUT)) raise_errno(ECONNABORTED, u"connect");
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(impl_->fd, SOL_SOCKET, SO_ERROR, &error, &length);
    if (error != 0) raise_errno(error, u"connect");
  }
  impl_->connected = true;
}

int TcpSocket::Receive(std::span<std::uint8_t> into) {
  Impl& s = *impl_;
  if (!s.connected || into.empty()) return 0;
  for (;;) {
    if (s.aborted.load()) return 0;
    const ssize_t n = ::recv(s.fd, into.data(), into.size(), 0);
    if (n >= 0) return static_cast<int>(n);
    const int error = errno;
    if (error == EINTR) continue;
    if (error == EAGAIN || error == EWOULDBLOCK) {
      if (!s.wait(POLLIN)) return 0;
      continue;
    }
    s.close_handle();
    raise_errno(error, u"recv");
  }
}

void TcpSocket::Send(std::span<const std::uint8_t> bytes) {
  Impl& s = *impl_;
  while (s.connected && !bytes.empty()) {
    if (s.aborted.load()) return;
    const ssize_t n = ::send(s.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n >= 0) {
      bytes = bytes.subspan(static_cast<std::size_t>(n));
      continue;
    }
    const int error = errno;
    if (error == EINTR) continue;
    if (error == EAGAIN || error == EWOULDBLOCK) {
      if (!s.wait(POLLOUT)) return;
      continue;
    }
    s.close_handle();
    raise_errno(error, u"send");
  }
}

void TcpSocket::Abort() { impl_->abort(); }
bool TcpSocket::Aborted() const { return impl_->aborted.load(); }

void TcpSocket::AttachAbortSwitch(std::shared_ptr<AbortSwitch> abort_switch) {
  if (abort_switch_) abort_switch_->Detach();
  abort_switch_ = std::move(abort_switch);
  if (abort_switch_) abort_switch_->Attach([impl = impl_.get()] { impl->abort(); });
}

void TcpSocket::Close() { impl_->close_handle(); }

}  // namespace wardenix
