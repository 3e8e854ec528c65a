#pragma once
// What `wardenix-inspect packet` prints: a packet loaded the way SetData
// loads it, as one JSON object, or the error that rejected it.
#include <cstdint>
#include <string>
#include <vector>

namespace wardenix {

struct PacketReport {
  bool accepted = false;
  std::string json;  // UTF-8, without a trailing newline
};

// `bytes` becomes the byte array the dataset receives.
PacketReport inspect_packet(std::vector<std::uint8_t> bytes);

}  // namespace wardenix
