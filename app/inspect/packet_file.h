#pragma once
// A data packet from a file, read as `wardenix-inspect packet` reads it: a
// regular file of at most the largest packet the dataset reads, of which only
// as much is read as the packet's own header, counts and lengths take.
#include <cstdint>
#include <string>
#include <vector>

namespace wardenix {

struct PacketFile {
  std::vector<std::uint8_t> bytes;
  std::string error;  // why the file could not be read; empty when it was
};

PacketFile read_packet_file(const std::string& path);

}  // namespace wardenix
