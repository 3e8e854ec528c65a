#pragma once
// The XML form of a data packet. It is turned into the binary form, which the
// store then reads like any other packet.
#include <cstdint>
#include <span>
#include <vector>

#include "dataset/packet_metadata.h"

namespace wardenix {

// Converts an XML packet. `known` is the store's table, used for a packet
// that carries rows only; it may be null. Returns a store status.
std::int32_t convert_xml_packet(std::span<const std::uint8_t> xml, const PacketTable* known,
                                std::vector<std::uint8_t>& binary);

}  // namespace wardenix
