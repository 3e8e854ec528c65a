#pragma once
// The channel of the message stream over a connection the trial server
// accepted; the transport handshake is layered on top of it.
#include "trialserver/socket.h"
#include "wire/channel.h"

namespace wardenix::trial {

class ConnectionChannel final : public TDbxChannel {
 public:
  // The connection must outlive the channel.
  explicit ConnectionChannel(Connection& connection);
  ~ConnectionChannel() override;

  void Open() override {}
  void Close() override {}
  int Read(std::span<std::uint8_t> into) override;
  // Sends every byte; -1 when the connection failed.
  int Write(std::span<const std::uint8_t> bytes) override;
  TDBXSocketChannelInfo GetChannelInfo() const override { return {}; }
  // Tripping the switch shuts the connection down, so that a read waiting
  // for the peer ends at once.
  std::shared_ptr<AbortSwitch> AbortHandle() override { return abort_; }
  void SetAbortHandle(std::shared_ptr<AbortSwitch> abort_switch) override;

 private:
  Connection& connection_;
  std::shared_ptr<AbortSwitch> abort_;
};

}  // namespace wardenix::trial
