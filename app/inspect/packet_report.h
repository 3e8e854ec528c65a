#pragma once
// What `wardenix-inspect packet` prints: a packet loaded the way SetData
// loads it, as one JSON object, or the error that rejected it.
#include <cstdint>
#include <vector>

#include "app/inspect/json_writer.h"

namespace wardenix {

// `bytes` becomes the byte array the dataset receives. Writes the report to
// `json` as it goes and returns whether the packet was accepted.
bool inspect_packet(std::vector<std::uint8_t> bytes, JsonWriter& json);

}  // namespace wardenix
