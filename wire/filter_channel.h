#pragma once
// TDBXFilterSocketChannel: wraps a channel with the transport handshake.
// The client's first Write sends 05 05 05 05 05 and reads the answer:
// 06 00 00 00 00 leaves the traffic unfiltered; 0D, a 32-bit big-endian
// length and a JSON announcement of filters frames every later exchange as
// 0D, length, bytes run through the filters. A Read before any Write is the
// accepting side: it answers the client's handshake.
// MakeDriverChannel picks the channel a connection opens for its driver.
#include <cstdint>
#include <memory>
#include <vector>

#include "wire/channel.h"
#include "wire/transport_filter.h"

namespace wardenix {

class TDBXFilterSocketChannel final : public TDbxChannel {
 public:
  enum class Negotiation { kNotNegotiated, kFiltered, kUnfiltered };

  explicit TDBXFilterSocketChannel(std::unique_ptr<TDbxChannel> delegate);

  // Accepting side: announce these filters to a client that asks, and frame
  // the traffic afterwards (an empty collection announces "{}"). Without
  // this call the accepting side answers unfiltered.
  void SetAcceptingFilters(TTransportFilterCollection filters);

  void Open() override;
  void Close() override;
  int Read(std::span<std::uint8_t> into) override;
  int Write(std::span<const std::uint8_t> bytes) override;
  TDBXSocketChannelInfo GetChannelInfo() const override { return delegate_->GetChannelInfo(); }
  std::shared_ptr<AbortSwitch> AbortHandle() override { return delegate_->AbortHandle(); }
  void SetAbortHandle(std::shared_ptr<AbortSwitch> abort_switch) override {
    delegate_->SetAbortHandle(std::move(abort_switch));
  }

  Negotiation State() const { return state_; }
  const TTransportFilterCollection& Filters() const { return filters_; }

 private:
  bool NegotiateAsClient();
  bool NegotiateAsAcceptor();
  bool ReadExact(std::span<std::uint8_t> into);
  bool ReadExactInto(std::vector<std::uint8_t>& out, std::uint32_t count);
  bool ReadFrame();
  int WriteFrame(std::span<const std::uint8_t> payload);

  std::unique_ptr<TDbxChannel> delegate_;
  TTransportFilterCollection filters_;
  bool accepting_filters_ = false;
  Negotiation state_ = Negotiation::kNotNegotiated;
  std::uint8_t header_[5] = {};
  // Bytes received but not yet handed out.
  std::vector<std::uint8_t> leftover_;
  std::size_t leftover_at_ = 0;
};

// The channel a connection opens for its driver: the filter channel around
// a socket channel for the driver name "DataSnap" (in any case of letters),
// a bare socket channel for any other driver.
std::unique_ptr<TDbxChannel> MakeDriverChannel(UStringView driver_name);

}  // namespace wardenix
