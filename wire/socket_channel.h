#pragma once
// TDBXSocketChannel: the channel over a communication layer chosen by the
// "CommunicationProtocol" property ("tcp/ip" when empty).
#include <memory>

#include "wire/channel.h"
#include "wire/communication_layer.h"

namespace wardenix {

class TDBXSocketChannel final : public TDbxChannel {
 public:
  TDBXSocketChannel();
  ~TDBXSocketChannel() override;

  void Open() override;
  void Close() override;
  int Read(std::span<std::uint8_t> into) override;
  int Write(std::span<const std::uint8_t> bytes) override;
  TDBXSocketChannelInfo GetChannelInfo() const override { return info_; }
  std::shared_ptr<AbortSwitch> AbortHandle() override { return abort_; }
  void SetAbortHandle(std::shared_ptr<AbortSwitch> abort_switch) override {
    abort_ = std::move(abort_switch);
  }

 private:
  std::shared_ptr<AbortSwitch> abort_;
  std::unique_ptr<TDBXCommunicationLayer> layer_;
  TDBXSocketChannelInfo info_;
};

}  // namespace wardenix
