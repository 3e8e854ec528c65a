#pragma once
// Transport filters (compression, encryption and the like) that a server may
// put between the channel and the message stream, and the process-wide
// registry that creates them by id. This program registers none.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "runtime/ustring.h"

namespace wardenix {

class TTransportFilter {
 public:
  virtual ~TTransportFilter() = default;
  virtual UString Id() const = 0;
  // False when the filter does not accept the value.
  virtual bool SetParameterValue(UStringView name, UStringView value) = 0;
  // The parameters the accepting side announces with the filter.
  virtual std::vector<std::pair<UString, UString>> Parameters() const { return {}; }
  virtual std::vector<std::uint8_t> ProcessInput(std::span<const std::uint8_t> data) = 0;
  virtual std::vector<std::uint8_t> ProcessOutput(std::span<const std::uint8_t> data) = 0;
};

using TTransportFilterCollection = std::vector<std::unique_ptr<TTransportFilter>>;

class TTransportFilterFactory {
 public:
  using Creator = std::function<std::unique_ptr<TTransportFilter>()>;

  static void RegisterFilter(UStringView id, Creator creator);
  static void UnregisterFilter(UStringView id);
  // A new filter, or null when the id is not registered or creation failed.
  static std::unique_ptr<TTransportFilter> CreateFilter(UStringView id);
  static std::vector<UString> RegisteredFilterList();
};

}  // namespace wardenix
