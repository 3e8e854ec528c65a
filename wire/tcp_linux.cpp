// Linux sockets: the wake signal is a pipe, and every wait a poll on the
// socket (or on a host lookup's own pipe) and on the pipe's reading end.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "wire/tcp_system.h"

namespace wardenix {
namespace {

void make_non_blocking(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// Waits until `fd` is ready for `events`, or the wake pipe is readable.
bool wait_for(const TcpSocket::Impl& s, int fd, short events) {
  for (;;) {
    if (s.aborted.load()) return false;
    pollfd fds[2] = {{fd, events, 0}, {s.wake_read, POLLIN, 0}};
    const int r = ::poll(fds, s.wake_read >= 0 ? 2 : 1, -1);
    if (r < 0 && errno == EINTR) continue;
    return !s.aborted.load();
  }
}

SocketTransfer transfer_result(ssize_t n) {
  if (n >= 0) return {SocketTransfer::Moved, static_cast<std::size_t>(n), 0};
  const int error = errno;
  if (error == EINTR) return {SocketTransfer::Interrupted, 0, 0};
  if (error == EAGAIN || error == EWOULDBLOCK) return {SocketTransfer::WouldBlock, 0, 0};
  return {SocketTransfer::Failed, 0, error};
}

}  // namespace

int SystemHostLookup(UStringView host, std::uint32_t& address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int error = ::getaddrinfo(to_utf8(host).c_str(), nullptr, &hints, &found);
  if (error != 0) return error;
  if (!found) return EAI_NONAME;
  address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  ::freeaddrinfo(found);
  return 0;
}

UString LookupErrorText(int error) {
  return from_utf8(error == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(error));
}

UString SocketErrorText(int error) { return from_utf8(std::generic_category().message(error)); }

LookupHandover::LookupHandover() {
  int fds[2];
  if (::pipe(fds) == 0) {
    for (int f : fds) make_non_blocking(f);
    signal_read = fds[0];
    signal_write = fds[1];
  }
}

LookupHandover::~LookupHandover() {
  if (signal_read >= 0) ::close(signal_read);
  if (signal_write >= 0) ::close(signal_write);
}

bool LookupHandover::HasSignal() const { return signal_read >= 0; }

void LookupHandover::Answer(int found_error, std::uint32_t found_address) {
  {
    MutexLock lock(mutex);
    answered = true;
    error = found_error;
    address = found_address;
  }
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(signal_write, &byte, 1);
}

TcpSocket::Impl::Impl() {
  int fds[2];
  if (::pipe(fds) == 0) {
    for (int f : fds) make_non_blocking(f);
    wake_read = fds[0];
    wake_write = fds[1];
  }
}

TcpSocket::Impl::~Impl() {
  CloseSocket();
  if (wake_read >= 0) ::close(wake_read);
  if (wake_write >= 0) ::close(wake_write);
}

void TcpSocket::Impl::Abort() {
  aborted.store(true);
  if (wake_write >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wake_write, &byte, 1);
  }
}

bool TcpSocket::Impl::Open() {
  fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (fd < 0) return false;
  make_non_blocking(fd);
  // A request often leaves in two writes before its reply is read (a
  // command's close, then the next prepare); held back by Nagle's
  // algorithm, the second waits for the peer's delayed acknowledgement,
  // about 40 ms a time. The bytes on the wire stay the same.
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return true;
}

bool TcpSocket::Impl::IsOpen() const { return fd >= 0; }

void TcpSocket::Impl::CloseSocket() {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

int TcpSocket::Impl::Connect(std::uint32_t address, std::uint16_t port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = address;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) return 0;
  if (errno != EINPROGRESS && errno != EINTR) return errno;
  if (!wait_for(*this, fd, POLLOUT)) return kConnectionAborted;
  int error = 0;
  socklen_t length = sizeof error;
  ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
  return error;
}

SocketTransfer TcpSocket::Impl::Receive(std::span<std::uint8_t> into) {
  return transfer_result(::recv(fd, into.data(), into.size(), 0));
}

SocketTransfer TcpSocket::Impl::Send(std::span<const std::uint8_t> bytes) {
  return transfer_result(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL));
}

bool TcpSocket::Impl::WaitReadable() { return wait_for(*this, fd, POLLIN); }
bool TcpSocket::Impl::WaitWritable() { return wait_for(*this, fd, POLLOUT); }

bool TcpSocket::Impl::WaitForLookup(const LookupHandover& lookup) {
  return wait_for(*this, lookup.signal_read, POLLIN);
}

}  // namespace wardenix
