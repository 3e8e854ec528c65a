#include "wire/socket_channel.h"

#include "runtime/errors.h"

namespace wardenix {

TDBXSocketChannel::TDBXSocketChannel() : abort_(std::make_shared<AbortSwitch>()) {}

TDBXSocketChannel::~TDBXSocketChannel() { Close(); }

void TDBXSocketChannel::Open() {
  Close();
  UString protocol = DbxProperties().GetValue(u"CommunicationProtocol");
  if (protocol.empty()) protocol = u"tcp/ip";
  layer_ = TDBXCommunicationLayerFactory::CommunicationLayer(protocol);
  if (!layer_) {
    throw TDBXError(0, u"Protocol " + protocol +
                           u" can be used after an adequate instance of TDBXCommunicationLayer "
                           u"is registered with TDBXCommunicationLayerFactory.");
  }
  layer_->SetAbortSwitch(abort_);
  layer_->Open(DbxProperties());
  info_ = TDBXSocketChannelInfo{0, layer_->AddressText()};
}

void TDBXSocketChannel::Close() {
  if (layer_) layer_->Close();
  layer_.reset();
  info_ = {};
}

int TDBXSocketChannel::Read(std::span<std::uint8_t> into) {
  return layer_ ? layer_->Read(into) : -1;
}

int TDBXSocketChannel::Write(std::span<const std::uint8_t> bytes) {
  return layer_ ? layer_->Write(bytes) : -1;
}

}  // namespace wardenix
