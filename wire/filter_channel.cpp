#include "wire/filter_channel.h"

#include <algorithm>
#include <cstring>

#include "runtime/errors.h"
#include "runtime/reply_limit.h"
#include "wire/filter_announcement.h"
#include "wire/socket_channel.h"

namespace wardenix {
namespace {

constexpr std::uint8_t kRequest[5] = {5, 5, 5, 5, 5};
constexpr std::uint8_t kUnfilteredAnswer[5] = {6, 0, 0, 0, 0};
constexpr std::uint8_t kFramed = 0x0D;
// Payloads are read in steps of this size into a block reserved at the
// length the wire gives (within the reply limit), whose pages are touched
// only as the bytes arrive.
constexpr std::size_t kReadStep = 64 * 1024;

std::uint32_t big_endian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

// 0D, the 32-bit big-endian length, the payload.
std::vector<std::uint8_t> make_frame(std::span<const std::uint8_t> payload) {
  const auto n = static_cast<std::uint32_t>(payload.size());
  std::vector<std::uint8_t> frame;
  frame.reserve(5 + payload.size());
  frame.push_back(kFramed);
  for (int shift = 24; shift >= 0; shift -= 8) frame.push_back(static_cast<std::uint8_t>(n >> shift));
  frame.insert(frame.end(), payload.begin(), payload.end());
  return frame;
}

}  // namespace

TDBXFilterSocketChannel::TDBXFilterSocketChannel(std::unique_ptr<TDbxChannel> delegate)
    : delegate_(std::move(delegate)) {}

void TDBXFilterSocketChannel::SetAcceptingFilters(TTransportFilterCollection filters) {
  filters_ = std::move(filters);
  accepting_filters_ = true;
}

void TDBXFilterSocketChannel::Open() {
  delegate_->SetDbxProperties(DbxProperties());
  delegate_->Open();
}

void TDBXFilterSocketChannel::Close() { delegate_->Close(); }

bool TDBXFilterSocketChannel::ReadExact(std::span<std::uint8_t> into) {
  while (!into.empty()) {
    const int n = delegate_->Read(into);
    if (n <= 0) return false;
    into = into.subspan(static_cast<std::size_t>(n));
  }
  return true;
}

bool TDBXFilterSocketChannel::ReadExactInto(std::vector<std::uint8_t>& out, std::uint32_t count) {
  CheckReplySize(count, kReplyLimit);
  out.clear();
  // A larger block replaces the old one rather than growing out of it, which
  // would hold both for a moment.
  if (out.capacity() < count) {
    out = {};
    out.reserve(count);
  }
  while (out.size() < count) {
    const std::size_t have = out.size();
    const std::size_t step = std::min<std::size_t>(count - have, kReadStep);
    out.resize(have + step);
    if (!ReadExact(std::span(out).subspan(have, step))) return false;
  }
  return true;
}

bool TDBXFilterSocketChannel::NegotiateAsClient() {
  if (delegate_->Write(kRequest) < 0) return false;
  if (!ReadExact(header_)) return false;
  if (std::memcmp(header_, kUnfilteredAnswer, 5) == 0) {
    state_ = Negotiation::kUnfiltered;
    return true;
  }
  if (header_[0] != kFramed) return false;
  std::vector<std::uint8_t> json;
  if (!ReadExactInto(json, big_endian32(header_ + 1))) return false;
  const auto announced = ParseFilterAnnouncement(json);
  if (!announced) return false;
  TTransportFilterCollection filters;
  // Taken from the last member to the first, so that the client undoes the
  // server's filters in reverse order.
  for (auto it = announced->rbegin(); it != announced->rend(); ++it) {
    auto filter = TTransportFilterFactory::CreateFilter(it->id);
    if (!filter) {
      throw TDBXError(0, u"Communication filter " + it->id +
                             u" is not registered. Filter class needs to be registered in order "
                             u"to communicate with the server.");
    }
    for (const auto& [name, value] : it->parameters) {
      const UString text = value.value_or(UString());
      if (!filter->SetParameterValue(name, text)) {
        throw TDBXError(0, u"Filter " + it->id + u" rejected setup parameter " + name +
                               u" given value " + text +
                               u". At this point the server communication is not possible due "
                               u"to this incompatibility.");
      }
    }
    filters.push_back(std::move(filter));
  }
  filters_ = std::move(filters);
  state_ = Negotiation::kFiltered;
  return true;
}

bool TDBXFilterSocketChannel::NegotiateAsAcceptor() {
  if (!ReadExact(header_)) return false;
  if (std::memcmp(header_, kRequest, 5) != 0) {
    // A peer that speaks without the handshake: its first bytes are data.
    if (accepting_filters_) return false;
    state_ = Negotiation::kUnfiltered;
    leftover_.assign(header_, header_ + 5);
    leftover_at_ = 0;
    return true;
  }
  if (!accepting_filters_) {
    state_ = Negotiation::kUnfiltered;
    return delegate_->Write(kUnfilteredAnswer) >= 0;
  }
  const std::string json = WriteFilterAnnouncement(filters_);
  state_ = Negotiation::kFiltered;
  return delegate_->Write(make_frame(std::span(
             reinterpret_cast<const std::uint8_t*>(json.data()), json.size()))) >= 0;
}

int TDBXFilterSocketChannel::WriteFrame(std::span<const std::uint8_t> payload) {
  return delegate_->Write(make_frame(payload));
}

int TDBXFilterSocketChannel::Write(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return 0;
  if (state_ == Negotiation::kNotNegotiated) {
    if (!NegotiateAsClient()) return -1;
    HandshakeDone();
  }
  if (state_ == Negotiation::kUnfiltered) return delegate_->Write(bytes);
  std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
  for (const auto& filter : filters_) data = filter->ProcessOutput(data);
  if (WriteFrame(data) < 0) return -1;
  return static_cast<int>(bytes.size());
}

bool TDBXFilterSocketChannel::ReadFrame() {
  do {
    if (!ReadExact(header_) || header_[0] != kFramed) return false;
    if (!ReadExactInto(leftover_, big_endian32(header_ + 1))) return false;
    for (const auto& filter : filters_) leftover_ = filter->ProcessInput(leftover_);
    leftover_at_ = 0;
  } while (leftover_.empty());
  return true;
}

int TDBXFilterSocketChannel::Read(std::span<std::uint8_t> into) {
  if (into.empty()) return 0;
  if (state_ == Negotiation::kNotNegotiated && !NegotiateAsAcceptor()) return -1;
  if (leftover_at_ >= leftover_.size()) {
    if (state_ == Negotiation::kUnfiltered) return delegate_->Read(into);
    if (!ReadFrame()) return -1;
  }
  const std::size_t n = std::min(into.size(), leftover_.size() - leftover_at_);
  std::memcpy(into.data(), leftover_.data() + leftover_at_, n);
  leftover_at_ += n;
  return static_cast<int>(n);
}

std::unique_ptr<TDbxChannel> MakeDriverChannel(UStringView driver_name) {
  auto socket_channel = std::make_unique<TDBXSocketChannel>();
  if (!equals_ascii_ci(driver_name, u"DataSnap")) return socket_channel;
  return std::make_unique<TDBXFilterSocketChannel>(std::move(socket_channel));
}

}  // namespace wardenix
