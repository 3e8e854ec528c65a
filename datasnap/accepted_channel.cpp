#include "datasnap/accepted_channel.h"

namespace wardenix {

TDBXAcceptedSocketChannel::TDBXAcceptedSocketChannel(std::unique_ptr<TcpSocket> socket)
    : abort_(std::make_shared<AbortSwitch>()), socket_(std::move(socket)) {
  if (socket_) socket_->AttachAbortSwitch(abort_);
}

TDBXAcceptedSocketChannel::~TDBXAcceptedSocketChannel() { Close(); }

void TDBXAcceptedSocketChannel::SetAbortHandle(std::shared_ptr<AbortSwitch> abort_switch) {
  abort_ = std::move(abort_switch);
  if (socket_) socket_->AttachAbortSwitch(abort_);
}

void TDBXAcceptedSocketChannel::Close() {
  if (socket_) socket_->Close();
}

int TDBXAcceptedSocketChannel::Read(std::span<std::uint8_t> into) {
  return socket_ ? socket_->Receive(into) : -1;
}

int TDBXAcceptedSocketChannel::Write(std::span<const std::uint8_t> bytes) {
  if (!socket_) return -1;
  socket_->Send(bytes);
  return static_cast<int>(bytes.size());
}

}  // namespace wardenix
