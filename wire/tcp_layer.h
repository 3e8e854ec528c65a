#pragma once
// TDBXTCPLayer: the "tcp/ip" communication layer, a blocking IPv4 client
// socket with an optional time limit on the first read after Open.
#include <atomic>
#include <memory>

#include "wire/communication_layer.h"
#include "wire/host_lookup.h"
#include "wire/scheduler.h"
#include "wire/tcp_socket.h"

namespace wardenix {

class TDBXTCPLayer final : public TDBXCommunicationLayer {
 public:
  // `lookup` finds the host of each connect.
  explicit TDBXTCPLayer(TDBXScheduler& scheduler = TDBXScheduler::Instance(),
                        HostLookup lookup = SystemHostLookup);
  ~TDBXTCPLayer() override;

  // Reads "HostName", "Port" (integer, 211 when absent) and
  // "ConnectTimeout" (integer milliseconds, none when absent or empty).
  void Open(const TDBXProperties& properties) override;
  void Close() override;
  int Read(std::span<std::uint8_t> into) override;
  int Write(std::span<const std::uint8_t> bytes) override;
  UString AddressText() const override { return {}; }
  // Ends the connection's current and later calls at once, from any thread;
  // the handle itself is released by Close on the owning thread.
  void Terminate() override;

 private:
  int Receive(std::span<std::uint8_t> into);

  TDBXScheduler& scheduler_;
  const HostLookup lookup_;
  std::unique_ptr<TcpSocket> socket_;
  // Set once the first read has returned; the timeout action reads it.
  std::atomic<bool> connected_{false};
};

}  // namespace wardenix
