#pragma once
// The IPv4 TCP socket of the channel: it connects and exchanges bytes. Every
// wait of the socket can be ended at once from another thread by Abort(),
// which never closes the handle: only the owning thread closes it, so a
// handle is never released, and possibly reused, under a call that is still
// using it.
// The system calls are in tcp_linux.cpp and tcp_win.cpp (tcp_system.h).
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "mainloop/abort_switch.h"
#include "runtime/errors.h"
#include "runtime/ustring.h"
#include "wire/host_lookup.h"

namespace wardenix {

// The error class of the socket layer. Failures of the system's calls read
// "Windows socket error: <system text> (<number>), on API '<api>'".
class ESocketError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "ESocketError"; }
};

// Looks `host` up as TcpSocket::Connect does (its first IPv4 address), on
// the calling thread; the lookup's error text when it finds none.
std::optional<UString> HostLookupError(UStringView host);

class TcpSocket {
 public:
  // `lookup` finds the hosts that Connect is given.
  explicit TcpSocket(HostLookup lookup = SystemHostLookup);
  ~TcpSocket();
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  // Creates the socket handle: "Can't create new socket" when the system
  // refuses, "Socket already open" when there is one.
  void Create();
  bool IsActive() const;
  bool IsConnected() const;

  // Looks the host up (its first IPv4 address) and connects, waiting until
  // the connection stands or fails; an abort ends the lookup's wait as it
  // ends the connect's. "No address specified" for an empty host; failures
  // raise the socket error of API "connect".
  void Connect(UStringView host, std::int32_t port);

  // Waits until at least one byte has arrived and returns what is there, up
  // to the size of `into`; 0 when the peer closed, the socket is not
  // connected or it was aborted. An error closes the socket and raises the
  // socket error of API "recv".
  int Receive(std::span<std::uint8_t> into);

  // Sends every byte; nothing when not connected or aborted. An error closes
  // the socket and raises the socket error of API "send".
  void Send(std::span<const std::uint8_t> bytes);

  // Ends the current and every later wait at once. Any thread.
  void Abort();
  bool Aborted() const;

  // Ties this socket to a switch that others may trip; the tie ends with
  // the socket.
  void AttachAbortSwitch(std::shared_ptr<AbortSwitch> abort_switch);

  // Releases the handle. Only the owning thread calls it.
  void Close();

  struct Impl;

 private:
  // Runs the lookup on a thread of its own and waits for its answer (into
  // `error` and `address`) or an abort; false when aborted first.
  bool LookUp(UStringView host, int& error, std::uint32_t& address);

  HostLookup lookup_;
  std::unique_ptr<Impl> impl_;
  std::shared_ptr<AbortSwitch> abort_switch_;
};

}  // namespace wardenix
