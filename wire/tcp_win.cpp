// Winsock. The handle is in event-select mode (non-blocking underneath);
// every wait is on the socket's network event and on an abort event, so that
// Abort() ends it at once without closing a handle another call may use.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <atomic>

#include "wire/socket_error.h"
#include "wire/tcp_socket.h"

namespace wardenix {
namespace {

void ensure_winsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

UString system_text(int error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  UString result;
  if (length > 0 && text) {
    result.assign(reinterpret_cast<const char16_t*>(text), length);
    LocalFree(text);
  }
  while (!result.empty() && (result.back() == u'\r' || result.back() == u'\n' ||
                             result.back() == u' ' || result.back() == u'.')) {
    result.pop_back();
  }
  return result;
}

[[noreturn]] void raise_wsa(int error, UStringView api) {
  RaiseSocketError(system_text(error), error, api);
}

constexpr long kEvents = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;

// The first IPv4 address of `host`; the lookup's error when there is none.
int lookup_ipv4(UStringView host, in_addr& into) {
  ensure_winsock();
  ADDRINFOW hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  ADDRINFOW* found = nullptr;
  const std::wstring name(host.begin(), host.end());
  const int error = GetAddrInfoW(name.c_str(), nullptr, &hints, &found);
  if (error != 0) return error;
  if (!found) return WSAHOST_NOT_FOUND;
  into = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  FreeAddrInfoW(found);
  return 0;
}

}  // namespace

std::optional<UString> HostLookupError(UStringView host) {
  if (host.empty()) return UString(u"No address specified");
  in_addr address{};
  const int error = lookup_ipv4(host, address);
  if (error == 0) return std::nullopt;
  return system_text(error);
}

struct TcpSocket::Impl {
  SOCKET fd = INVALID_SOCKET;
  WSAEVENT io_event = WSA_INVALID_EVENT;
  HANDLE abort_event = nullptr;
  std::atomic<bool> aborted{false};
  bool connected = false;

  Impl() {
    ensure_winsock();
    abort_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }

  ~Impl() {
    close_handle();
    if (abort_event) CloseHandle(abort_event);
  }

  void abort() {
    aborted.store(true);
    if (abort_event) SetEvent(abort_event);
  }

  void close_handle() {
    if (fd != INVALID_SOCKET) closesocket(fd);
    if (io_event != WSA_INVALID_EVENT) WSACloseEvent(io_event);
    fd = INVALID_SOCKET;
    io_event = WSA_INVALID_EVENT;
    connected = false;
  }

  bool adopt(SOCKET handle) {
    fd = handle;
    // No Nagle delay between the writes of one request: see tcp_posix.cpp.
    const BOOL on = TRUE;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    io_event = WSACreateEvent();
    return io_event != WSA_INVALID_EVENT && WSAEventSelect(fd, io_event, kEvents) == 0;
  }

  // Waits for the next network events of the socket; false when aborted.
  bool wait(WSANETWORKEVENTS& events) {
    if (aborted.load()) return false;
    WSAEVENT handles[2] = {abort_event, io_event};
    const DWORD r = WSAWaitForMultipleEvents(2, handles, FALSE, WSA_INFINITE, FALSE);
    if (aborted.load() || r == WSA_WAIT_EVENT_0) return false;
    events = WSANETWORKEVENTS{};
    WSAEnumNetworkEvents(fd, io_event, &events);
    return true;
  }
};

TcpSocket::TcpSocket() : impl_(std::make_unique<Impl>()) {}

TcpSocket::~TcpSocket() {
  if (abort_switch_) abort_switch_->Detach();
}

void TcpSocket::Create() {
  if (impl_->fd != INVALID_SOCKET) throw ESocketError(u"Socket already open");
  const SOCKET fd = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (fd == INVALID_SOCKET) throw ESocketError(u"Can't create new socket");
  if (!impl_->adopt(fd)) {
    impl_->close_handle();
    throw ESocketError(u"Can't create new socket");
  }
}

bool TcpSocket::IsActive() const { return impl_->fd != INVALID_SOCKET; }
bool TcpSocket::IsConnected() const { return impl_->connected; }

void TcpSocket::Connect(UStringView host, std::int32_t port) {
  if (host.empty()) throw ESocketError(u"No address specified");
  if (impl_->fd == INVALID_SOCKET) Create();
  if (impl_->aborted.load()) raise_wsa(WSAECONNABORTED, u"connect");

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  if (lookup_ipv4(host, address.sin_addr) != 0) raise_wsa(WSAEADDRNOTAVAIL, u"connect");
  if (port <= 0 || port > 65535) raise_wsa(WSAEADDRNOTAVAIL, u"connect");
  if (impl_->aborted.load()) raise_wsa(WSAECONNABORTED, u"connect");

  if (connect(impl_->fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) raise_wsa(error, u"connect");
    for (;;) {
      WSANETWORKEVENTS events;
      if (!impl_->wait(events)) raise_wsa(WSAECONNABORTED, u"connect");
      if (events.lNetworkEvents & FD_CONNECT) {
        const int result = events.iErrorCode[FD_CONNECT_BIT];
        if (result != 0) raise_wsa(result, u"connect");
        break;
      }
    }
  }
  impl_->connected = true;
}

int TcpSocket::Receive(std::span<std::uint8_t> into) {
  Impl& s = *impl_;
  if (!s.connected || into.empty()) return 0;
  const int want = into.size() > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(into.size());
  for (;;) {
    if (s.aborted.load()) return 0;
    const int n = recv(s.fd, reinterpret_cast<char*>(into.data()), want, 0);
    if (n >= 0) return n;
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
      WSANETWORKEVENTS events;
      if (!s.wait(events)) return 0;
      continue;
    }
    s.close_handle();
    raise_wsa(error, u"recv");
  }
}

void TcpSocket::Send(std::span<const std::uint8_t> bytes) {
  Impl& s = *impl_;
  while (s.connected && !bytes.empty()) {
    if (s.aborted.load()) return;
    const int chunk = bytes.size() > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(bytes.size());
    const int n = send(s.fd, reinterpret_cast<const char*>(bytes.data()), chunk, 0);
    if (n >= 0) {
      bytes = bytes.subspan(static_cast<std::size_t>(n));
      continue;
    }
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
      WSANETWORKEVENTS events;
      if (!s.wait(events)) return;
      continue;
    }
    s.close_handle();
    raise_wsa(error, u"send");
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
