#pragma once
// The binary data packet: header, metadata and rows. Every read is checked
// against the end of the packet; whatever runs past it is a mismatch.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "dataset/packet_budget.h"
#include "dataset/packet_metadata.h"

namespace wardenix {

using PacketBytes = std::span<const std::uint8_t>;

inline constexpr std::uint32_t kPacketSignature = 0xBDE01996u;
inline constexpr std::uint32_t kPacketSignatureOld = 0xABCDu;
inline constexpr std::size_t kPacketHeaderSize = 24;
// Table levels one packet may hold, the top-level table included.
inline constexpr int kMaxTableLevels = 63;
// A store finds its rows again from the offset of every 16th row, which keeps
// the index of a packet of the shortest rows (2 bytes) at an eighth of its size.
inline constexpr std::size_t kRowIndexStride = 16;

namespace packet_flag {
inline constexpr std::uint32_t kMetadata = 0x1;
inline constexpr std::uint32_t kRowOffset = 0x2;
inline constexpr std::uint32_t kXmlPrepare = 0x8000;
}  // namespace packet_flag

struct PacketHeader {
  std::uint32_t signature = 0;
  std::uint16_t version1 = 0;
  std::uint16_t version2 = 0;
  std::uint32_t header_size = 0;
  std::uint16_t column_count = 0;
  std::uint32_t row_count = 0;
  std::uint32_t flags = 0;
  std::uint16_t row_offset = 0;

  bool has_metadata() const { return (flags & packet_flag::kMetadata) != 0; }
  bool has_row_offset() const { return (flags & packet_flag::kRowOffset) != 0; }
};

// True when the bytes start with a binary signature (and, for the current
// one, version numbers the reader knows); anything else is read as XML.
bool is_binary_packet(PacketBytes bytes);

std::int32_t read_packet_header(PacketBytes bytes, PacketHeader& header);

// Reads the column descriptors, their options and the table options of every
// level, paying for what it builds from `budget`. `end` receives the offset
// just after the top-level table options.
std::int32_t read_packet_metadata(PacketBytes bytes, const PacketHeader& header,
                                  PacketTable& table, PacketBudget& budget, std::size_t& end);

// Checks `row_count` rows of `table` starting at `offset`, appends the offset
// of every kRowIndexStride-th of them (the first included) to `row_marks`,
// paid from `budget`, and sets `end` to the offset just after the last row.
// Nothing is appended on failure.
std::int32_t read_packet_rows(PacketBytes bytes, std::size_t offset, std::uint64_t row_count,
                              const PacketTable& table, PacketBudget& budget,
                              std::vector<std::uint32_t>& row_marks, std::size_t& end);

// The length of the binary packet at the start of `bytes` as its header,
// metadata and row counts give it, once `bytes` holds all of it; nothing while
// it is cut short (or is no packet).
std::optional<std::size_t> binary_packet_extent(PacketBytes bytes);

// The number of bytes a value of `type_word` occupies at `offset` (prefix or
// element count included), or false when it runs past the end. The type word
// must have passed the reader's checks.
bool packet_value_length(PacketBytes bytes, std::size_t offset, std::uint32_t type_word,
                         std::size_t& length);

}  // namespace wardenix
