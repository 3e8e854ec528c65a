#pragma once
// The JSON text with which the accepting side announces its transport
// filters: an object whose members are filter ids, each with an object that
// maps parameter names to a string or null.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "runtime/ustring.h"
#include "wire/transport_filter.h"

namespace wardenix {

struct FilterAnnouncement {
  UString id;
  // A null value is kept as an absent text.
  std::vector<std::pair<UString, std::optional<UString>>> parameters;
};

// ASCII JSON; characters outside ASCII are escaped.
std::string WriteFilterAnnouncement(const TTransportFilterCollection& filters);
// The announced filters in member order; nothing when the text is not such
// an object.
std::optional<std::vector<FilterAnnouncement>> ParseFilterAnnouncement(
    std::span<const std::uint8_t> json);

}  // namespace wardenix
