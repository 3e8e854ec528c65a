#include "wire/tcp_socket.h"

#include <array>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

#include "wire/tcp_system.h"

namespace wardenix {
namespace {

[[noreturn]] void raise_socket_error(int error, UStringView api) {
  UString message = u"Windows socket error: ";
  message += SocketErrorText(error);
  message += u" (";
  message += to_ustring(error);
  message += u"), on API '";
  message += api;
  message += u"'";
  throw ESocketError(std::move(message));
}

// A host written as four decimal numbers from 0 to 255 is its own address:
// it needs no resolver, and no thread to wait on one. Anything else, the
// other forms the system's lookup takes included, goes to the lookup.
std::optional<std::array<std::uint8_t, 4>> dotted_quad(UStringView host) {
  std::array<std::uint8_t, 4> octets{};
  std::size_t i = 0;
  for (std::size_t n = 0; n < octets.size(); ++n) {
    if (n > 0) {
      if (i >= host.size() || host[i] != u'.') return std::nullopt;
      ++i;
    }
    unsigned part = 0;
    std::size_t digits = 0;
    for (; i < host.size() && host[i] >= u'0' && host[i] <= u'9'; ++i) {
      // A leading zero reads as octal to some resolvers: theirs to decide.
      if (++digits > 3 || (digits == 2 && part == 0)) return std::nullopt;
      part = part * 10 + static_cast<unsigned>(host[i] - u'0');
    }
    if (digits == 0 || part > 255) return std::nullopt;
    octets[n] = static_cast<std::uint8_t>(part);
  }
  if (i != host.size()) return std::nullopt;
  return octets;
}

}  // namespace

std::optional<UString> HostLookupError(UStringView host) {
  if (host.empty()) return UString(u"No address specified");
  std::uint32_t address = 0;
  const int error = SystemHostLookup(host, address);
  if (error == 0) return std::nullopt;
  return LookupErrorText(error);
}

TcpSocket::TcpSocket(HostLookup lookup)
    : lookup_(std::move(lookup)), impl_(std::make_unique<Impl>()) {}

TcpSocket::~TcpSocket() {
  if (abort_switch_) abort_switch_->Detach();
}

void TcpSocket::Create() {
  if (impl_->IsOpen()) throw ESocketError(u"Socket already open");
  if (!impl_->Open()) throw ESocketError(u"Can't create new socket");
}

bool TcpSocket::IsActive() const { return impl_->IsOpen(); }
bool TcpSocket::IsConnected() const { return impl_->connected; }

void TcpSocket::Connect(UStringView host, std::int32_t port) {
  if (host.empty()) throw ESocketError(u"No address specified");
  if (!impl_->IsOpen()) Create();
  if (impl_->aborted.load()) raise_socket_error(kConnectionAborted, u"connect");

  std::uint32_t address = 0;
  int lookup_error = 0;
  if (!LookUp(host, lookup_error, address)) raise_socket_error(kConnectionAborted, u"connect");
  if (lookup_error != 0) {
    // An unknown host must not connect anywhere: 0.0.0.0 would reach this
    // machine on Linux.
    raise_socket_error(kAddressNotAvailable, u"connect");
  }
  if (port <= 0 || port > 65535) raise_socket_error(kAddressNotAvailable, u"connect");
  if (impl_->aborted.load()) raise_socket_error(kConnectionAborted, u"connect");

  const int error = impl_->Connect(address, static_cast<std::uint16_t>(port));
  if (error != 0) raise_socket_error(error, u"connect");
  impl_->connected = true;
}

bool TcpSocket::LookUp(UStringView host, int& error, std::uint32_t& address) {
  if (const auto octets = dotted_quad(host)) {
    error = 0;
    std::memcpy(&address, octets->data(), sizeof address);  // network order: as written
    return true;
  }
  auto handover = std::make_shared<LookupHandover>();
  if (handover->HasSignal()) {
    try {
      // Detached: an abort leaves it behind, holding the handover and its own
      // copies of the lookup and the name, and it ends by itself once the
      // resolver answers, which the system's resolver does within its own
      // time limits and attempts. So a lookup left behind by every check
      // costs a thread for that long, never for good.
      std::thread([handover, lookup = lookup_, name = UString(host)] {
        std::uint32_t found = 0;
        const int result = lookup(name, found);
        handover->Answer(result, found);
      }).detach();
    } catch (const std::system_error&) {
      handover.reset();
    }
  }
  if (!handover || !handover->HasSignal()) {
    // Without a signal or a thread, the wait cannot be ended: the lookup runs
    // here, as it must run somewhere.
    error = lookup_(host, address);
    return !impl_->aborted.load();
  }
  for (;;) {
    if (!impl_->WaitForLookup(*handover)) return false;
    MutexLock lock(handover->mutex);
    if (handover->answered) {
      error = handover->error;
      address = handover->address;
      return true;
    }
  }
}

int TcpSocket::Receive(std::span<std::uint8_t> into) {
  Impl& s = *impl_;
  if (!s.connected || into.empty()) return 0;
  for (;;) {
    if (s.aborted.load()) return 0;
    const SocketTransfer done = s.Receive(into);
    switch (done.outcome) {
      case SocketTransfer::Moved:
        return static_cast<int>(done.bytes);
      case SocketTransfer::Interrupted:
        continue;
      case SocketTransfer::WouldBlock:
        if (!s.WaitReadable()) return 0;
        continue;
      case SocketTransfer::Failed:
        Close();
        raise_socket_error(done.error, u"recv");
    }
  }
}

void TcpSocket::Send(std::span<const std::uint8_t> bytes) {
  Impl& s = *impl_;
  while (s.connected && !bytes.empty()) {
    if (s.aborted.load()) return;
    const SocketTransfer done = s.Send(bytes);
    switch (done.outcome) {
      case SocketTransfer::Moved:
        bytes = bytes.subspan(done.bytes);
        continue;
      case SocketTransfer::Interrupted:
        continue;
      case SocketTransfer::WouldBlock:
        if (!s.WaitWritable()) return;
        continue;
      case SocketTransfer::Failed:
        Close();
        raise_socket_error(done.error, u"send");
    }
  }
}

void TcpSocket::Abort() { impl_->Abort(); }
bool TcpSocket::Aborted() const { return impl_->aborted.load(); }

void TcpSocket::AttachAbortSwitch(std::shared_ptr<AbortSwitch> abort_switch) {
  if (abort_switch_) abort_switch_->Detach();
  abort_switch_ = std::move(abort_switch);
  if (abort_switch_) abort_switch_->Attach([impl = impl_.get()] { impl->Abort(); });
}

void TcpSocket::Close() {
  impl_->CloseSocket();
  impl_->connected = false;
}

}  // namespace wardenix
