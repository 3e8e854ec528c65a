#pragma once
// The accepting side's channel over a connection taken from a TcpListener.
// Wrapped in a TDBXFilterSocketChannel, its first Read answers the client's
// transport handshake.
#include <memory>

#include "datasnap/channel.h"
#include "datasnap/tcp_socket.h"

namespace wardenix {

class TDBXAcceptedSocketChannel final : public TDbxChannel {
 public:
  explicit TDBXAcceptedSocketChannel(std::unique_ptr<TcpSocket> socket);
  ~TDBXAcceptedSocketChannel() override;

  void Open() override {}
  void Close() override;
  int Read(std::span<std::uint8_t> into) override;
  int Write(std::span<const std::uint8_t> bytes) override;
  TDBXSocketChannelInfo GetChannelInfo() const override { return {}; }
  std::shared_ptr<AbortSwitch> AbortHandle() override { return abort_; }
  void SetAbortHandle(std::shared_ptr<AbortSwitch> abort_switch) override;

 private:
  std::shared_ptr<AbortSwitch> abort_;
  std::unique_ptr<TcpSocket> socket_;
};

}  // namespace wardenix
