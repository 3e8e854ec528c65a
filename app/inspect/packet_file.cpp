#include "app/inspect/packet_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "dataset/data_store.h"
#include "dataset/packet_budget.h"

namespace wardenix {
namespace {

// The first read; each further one reads as much again as there is.
constexpr std::size_t kFirstReadBytes = 64 * 1024;
// The dataset takes a byte array shorter than this for no packet at all, so a
// shorter packet keeps the bytes after it up to this length.
constexpr std::size_t kShortestPacketBytes = 22;

// Reads the packet at the start of the file in growing steps until the bytes
// hold all of it (or the file ends), so that a small packet at the start of a
// large file costs only what it needs.
bool read_packet(std::FILE* file, std::size_t file_size, std::vector<std::uint8_t>& bytes) {
  // Room for the whole file is only reserved: what is not read is never touched.
  bytes.reserve(file_size);
  std::size_t want = std::min(file_size, kFirstReadBytes);
  for (;;) {
    const std::size_t have = bytes.size();
    bytes.resize(want);
    const std::size_t got = want > have ? std::fread(bytes.data() + have, 1, want - have, file) : 0;
    bytes.resize(have + got);
    if (std::ferror(file)) return false;
    if (const auto extent = packet_extent(bytes)) {
      bytes.resize(std::max(*extent, std::min(bytes.size(), kShortestPacketBytes)));
      return true;
    }
    if (got < want - have || bytes.size() >= file_size) return true;  // the dataset judges what there is
    want = std::min(file_size, bytes.size() * 2);
  }
}

PacketFile failed(std::string why) { return {{}, std::move(why)}; }

}  // namespace

PacketFile read_packet_file(const std::string& path) {
  // Opening a FIFO or a device would wait for a writer or read without end.
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error) return failed(error.message());
  if (!std::filesystem::is_regular_file(status)) return failed("not a regular file");
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) return failed(error.message());
  if (size > kMaxPacketBytes) {
    return failed("larger than 32 MiB (33554432 bytes), the largest packet the dataset reads");
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return failed(std::strerror(errno));
  PacketFile packet;
  const bool read = read_packet(file, static_cast<std::size_t>(size), packet.bytes);
  const int read_errno = errno;
  std::fclose(file);
  if (!read) return failed(std::strerror(read_errno));
  return packet;
}

}  // namespace wardenix
