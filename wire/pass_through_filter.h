#pragma once
// A transport filter that leaves the bytes as they are, under any id and
// with any parameters: what an accepting side announces when it wants a
// client to see a filter (a test or trial server, for instance).
#include <utility>
#include <vector>

#include "wire/transport_filter.h"

namespace wardenix {

class TPassThroughFilter final : public TTransportFilter {
 public:
  explicit TPassThroughFilter(UString id, std::vector<std::pair<UString, UString>> parameters = {})
      : id_(std::move(id)), parameters_(std::move(parameters)) {}

  UString Id() const override { return id_; }
  bool SetParameterValue(UStringView, UStringView) override { return true; }
  std::vector<std::pair<UString, UString>> Parameters() const override { return parameters_; }
  std::vector<std::uint8_t> ProcessInput(std::span<const std::uint8_t> data) override {
    return {data.begin(), data.end()};
  }
  std::vector<std::uint8_t> ProcessOutput(std::span<const std::uint8_t> data) override {
    return {data.begin(), data.end()};
  }

 private:
  UString id_;
  std::vector<std::pair<UString, UString>> parameters_;
};

}  // namespace wardenix
