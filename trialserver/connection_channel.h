#pragma once
// The channel of the message stream over a connection the trial server
// accepted; the transport handshake is layered on top of it.
#include "datasnap/channel.h"
#include "trialserver/socket.h"

namespace wardenix::trial {

class ConnectionChannel final : public TDbxChannel {
 public:
  explicit ConnectionChannel(Connection& connection) : connection_(connection) {}

  void Open() override {}
  void Close() override {}
  int Read(std::span<std::uint8_t> into) override;
  // Sends every byte; -1 when the connection failed.
  int Write(std::span<const std::uint8_t> bytes) override;
  TDBXSocketChannelInfo GetChannelInfo() const override { return {}; }
  // Nothing here waits on a switch: a session ends with its connection.
  std::shared_ptr<AbortSwitch> AbortHandle() override { return abort_; }
  void SetAbortHandle(std::shared_ptr<AbortSwitch> abort_switch) override {
    abort_ = std::move(abort_switch);
  }

 private:
  Connection& connection_;
  std::shared_ptr<AbortSwitch> abort_ = std::make_shared<AbortSwitch>();
};

}  // namespace wardenix::trial
