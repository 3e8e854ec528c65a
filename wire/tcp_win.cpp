// Winsock: the handle is in event-select mode, the wake signal is a manual
// reset event, and every wait is on the socket's network event (or on a host
// lookup's own event) and on it.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <string>

#include "wire/tcp_system.h"

namespace wardenix {
namespace {

void ensure_winsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

constexpr long kEvents = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;

// Winsock moves at most this much in one call.
int call_size(std::size_t bytes) { return bytes > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(bytes); }

// Waits for the next network events of the socket; false when aborted.
bool wait_for(const TcpSocket::Impl& s, WSANETWORKEVENTS& events) {
  if (s.aborted.load()) return false;
  WSAEVENT handles[2] = {s.abort_event, s.io_event};
  const DWORD r = WSAWaitForMultipleEvents(2, handles, FALSE, WSA_INFINITE, FALSE);
  if (s.aborted.load() || r == WSA_WAIT_EVENT_0) return false;
  events = WSANETWORKEVENTS{};
  WSAEnumNetworkEvents(s.fd, s.io_event, &events);
  return true;
}

SocketTransfer transfer_result(int n) {
  if (n >= 0) return {SocketTransfer::Moved, static_cast<std::size_t>(n), 0};
  const int error = WSAGetLastError();
  if (error == WSAEWOULDBLOCK) return {SocketTransfer::WouldBlock, 0, 0};
  return {SocketTransfer::Failed, 0, error};
}

}  // namespace

int SystemHostLookup(UStringView host, std::uint32_t& address) {
  ensure_winsock();
  ADDRINFOW hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  ADDRINFOW* found = nullptr;
  const std::wstring name(host.begin(), host.end());
  const int error = GetAddrInfoW(name.c_str(), nullptr, &hints, &found);
  if (error != 0) return error;
  if (!found) return WSAHOST_NOT_FOUND;
  address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  FreeAddrInfoW(found);
  return 0;
}

UString LookupErrorText(int error) { return SocketErrorText(error); }

UString SocketErrorText(int error) {
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

LookupHandover::LookupHandover() { answered_event = CreateEventW(nullptr, TRUE, FALSE, nullptr); }

LookupHandover::~LookupHandover() {
  if (answered_event) ::CloseHandle(answered_event);
}

bool LookupHandover::HasSignal() const { return answered_event != nullptr; }

void LookupHandover::Answer(int found_error, std::uint32_t found_address) {
  {
    MutexLock lock(mutex);
    answered = true;
    error = found_error;
    address = found_address;
  }
  SetEvent(answered_event);
}

TcpSocket::Impl::Impl() {
  ensure_winsock();
  abort_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

TcpSocket::Impl::~Impl() {
  CloseSocket();
  if (abort_event) ::CloseHandle(abort_event);
}

void TcpSocket::Impl::Abort() {
  aborted.store(true);
  if (abort_event) SetEvent(abort_event);
}

bool TcpSocket::Impl::Open() {
  fd = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (fd == INVALID_SOCKET) return false;
  // No Nagle delay between the writes of one request: see tcp_linux.cpp.
  const BOOL on = TRUE;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  io_event = WSACreateEvent();
  if (io_event != WSA_INVALID_EVENT && WSAEventSelect(fd, io_event, kEvents) == 0) return true;
  CloseSocket();
  return false;
}

bool TcpSocket::Impl::IsOpen() const { return fd != INVALID_SOCKET; }

void TcpSocket::Impl::CloseSocket() {
  if (fd != INVALID_SOCKET) closesocket(fd);
  if (io_event != WSA_INVALID_EVENT) WSACloseEvent(io_event);
  fd = INVALID_SOCKET;
  io_event = WSA_INVALID_EVENT;
}

int TcpSocket::Impl::Connect(std::uint32_t address, std::uint16_t port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = address;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) return 0;
  const int error = WSAGetLastError();
  if (error != WSAEWOULDBLOCK) return error;
  for (;;) {
    WSANETWORKEVENTS events;
    if (!wait_for(*this, events)) return kConnectionAborted;
    if (events.lNetworkEvents & FD_CONNECT) return events.iErrorCode[FD_CONNECT_BIT];
  }
}

SocketTransfer TcpSocket::Impl::Receive(std::span<std::uint8_t> into) {
  return transfer_result(recv(fd, reinterpret_cast<char*>(into.data()), call_size(into.size()), 0));
}

SocketTransfer TcpSocket::Impl::Send(std::span<const std::uint8_t> bytes) {
  return transfer_result(
      send(fd, reinterpret_cast<const char*>(bytes.data()), call_size(bytes.size()), 0));
}

bool TcpSocket::Impl::WaitReadable() {
  WSANETWORKEVENTS events;
  return wait_for(*this, events);
}

bool TcpSocket::Impl::WaitWritable() { return WaitReadable(); }

bool TcpSocket::Impl::WaitForLookup(const LookupHandover& lookup) {
  if (aborted.load()) return false;
  HANDLE handles[2] = {abort_event, lookup.answered_event};
  WaitForMultipleObjects(2, handles, FALSE, INFINITE);
  return !aborted.load();
}

}  // namespace wardenix
