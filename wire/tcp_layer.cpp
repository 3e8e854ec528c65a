#include "wire/tcp_layer.h"

#include "runtime/errors.h"

namespace wardenix {

TDBXTCPLayer::TDBXTCPLayer(TDBXScheduler& scheduler, HostLookup lookup)
    : scheduler_(scheduler), lookup_(std::move(lookup)) {}

TDBXTCPLayer::~TDBXTCPLayer() { Close(); }

void TDBXTCPLayer::Open(const TDBXProperties& properties) {
  Close();
  terminated_ = false;
  socket_ = std::make_unique<TcpSocket>(lookup_);
  const UString host = properties.GetValue(u"HostName");
  const std::int32_t port = properties.GetInteger(u"Port", 211);
  connect_timeout_ = properties.GetInteger(u"ConnectTimeout", 0);
  connected_ = false;
  try {
    socket_->AttachAbortSwitch(abort_switch());
    socket_->Create();
    socket_->Connect(host, port);
  } catch (...) {
    socket_->Close();
    throw;
  }
}

void TDBXTCPLayer::Close() {
  if (!socket_) return;
  if (!terminated_) {
    socket_->Close();
    terminated_ = true;
  }
  socket_.reset();
}

void TDBXTCPLayer::Terminate() {
  if (terminated_.exchange(true)) return;
  if (socket_) socket_->Abort();
}

int TDBXTCPLayer::Receive(std::span<std::uint8_t> into) {
  if (!socket_ || !socket_->IsConnected()) return 0;
  return socket_->Receive(into);
}

int TDBXTCPLayer::Read(std::span<std::uint8_t> into) {
  if (connected_ || connect_timeout_ <= 0) return Receive(into);

  scheduler_.AddEvent(this, Millis(connect_timeout_), [this] {
    if (!connected_) Terminate();
  });
  int received = 0;
  bool failed = false;
  try {
    received = Receive(into);
  } catch (...) {
    failed = true;
  }
  scheduler_.CancelEvent(this);
  connected_ = true;
  if (failed || terminated_) throw TDBXError(0, u"Connection timeout error");
  return received;
}

int TDBXTCPLayer::Write(std::span<const std::uint8_t> bytes) {
  if (socket_ && socket_->IsConnected()) socket_->Send(bytes);
  return static_cast<int>(bytes.size());
}

}  // namespace wardenix
