#pragma once
// An in-memory channel for tests and benchmarks: reads come from a prepared
// byte string in pieces of a chosen size, writes are recorded one by one.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "wire/channel.h"

namespace wardenix::test {

class MemoryChannel final : public TDbxChannel {
 public:
  explicit MemoryChannel(std::string incoming = {}, std::size_t read_piece = SIZE_MAX)
      : incoming_(std::move(incoming)), read_piece_(read_piece) {}

  void Open() override {}
  void Close() override {}
  int Read(std::span<std::uint8_t> into) override {
    ++reads;
    const std::size_t n = std::min({into.size(), read_piece_, incoming_.size() - at_});
    std::memcpy(into.data(), incoming_.data() + at_, n);
    at_ += n;
    return static_cast<int>(n);
  }
  int Write(std::span<const std::uint8_t> bytes) override {
    writes.emplace_back(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return static_cast<int>(bytes.size());
  }
  TDBXSocketChannelInfo GetChannelInfo() const override { return {}; }
  std::shared_ptr<AbortSwitch> AbortHandle() override { return abort_; }
  void SetAbortHandle(std::shared_ptr<AbortSwitch> abort_switch) override {
    abort_ = std::move(abort_switch);
  }

  void Feed(std::string_view more) { incoming_ += more; }
  // Starts the incoming bytes over (for benchmarks that read the same text).
  void Rewind() { at_ = 0; }
  std::string Written() const {
    std::string all;
    for (const auto& w : writes) all += w;
    return all;
  }

  std::vector<std::string> writes;
  int reads = 0;

 private:
  std::string incoming_;
  std::size_t at_ = 0;
  std::size_t read_piece_;
  std::shared_ptr<AbortSwitch> abort_ = std::make_shared<AbortSwitch>();
};

inline std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

}  // namespace wardenix::test
