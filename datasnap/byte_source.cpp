#include "datasnap/byte_source.h"

#include <algorithm>
#include <cstring>

namespace wardenix {

std::size_t MemoryByteSource::Read(std::span<std::uint8_t> into) {
  const std::size_t n = std::min(into.size(), bytes_.size() - at_);
  if (n > 0) std::memcpy(into.data(), bytes_.data() + at_, n);
  at_ += n;
  return n;
}

std::vector<std::uint8_t> ReadAll(ByteSource& source) {
  std::vector<std::uint8_t> bytes;
  constexpr std::size_t kStep = 16 * 1024;
  while (!source.AtEnd()) {
    const std::size_t have = bytes.size();
    bytes.resize(have + kStep);
    const std::size_t n = source.Read(std::span(bytes).subspan(have));
    bytes.resize(have + n);
    if (n == 0) break;
  }
  return bytes;
}

}  // namespace wardenix
