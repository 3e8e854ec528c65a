#pragma once
// The XML form of a data packet. It is turned into the binary form, which the
// store then reads like any other packet. The document is read as a stream:
// only the metadata is held as a whole, the rows are converted one at a time.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "dataset/packet_budget.h"
#include "dataset/packet_metadata.h"

namespace wardenix {

// Converts an XML packet. `known` is the store's table, used for a packet
// that carries rows only; it may be null. The binary form is paid for from
// `budget`. Returns a store status.
std::int32_t convert_xml_packet(std::span<const std::uint8_t> xml, const PacketTable* known,
                                PacketBudget& budget, std::vector<std::uint8_t>& binary);

// The length of the XML document at the start of `bytes`, up to the end of
// its document element, once `bytes` holds all of it; nothing while it is cut
// short (or is no document).
std::optional<std::size_t> xml_packet_extent(std::span<const std::uint8_t> bytes);

}  // namespace wardenix
