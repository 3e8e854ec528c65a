#include "runtime/byte_source.h"

#include <algorithm>
#include <cstring>

namespace wardenix {
namespace {

constexpr std::size_t kPiece = 64 * 1024;

std::size_t copy_out(std::span<const std::uint8_t> from, std::size_t& at,
                     std::span<std::uint8_t> into) {
  const std::size_t n = std::min(into.size(), from.size() - at);
  if (n > 0) std::memcpy(into.data(), from.data() + at, n);
  at += n;
  return n;
}

// Appends what the source delivers until it ends; `bytes` grows in steps
// within the capacity it was given.
void read_on(ByteSource& source, std::vector<std::uint8_t>& bytes) {
  while (!source.AtEnd()) {
    const std::size_t have = bytes.size();
    const std::size_t room = bytes.capacity() - have;
    bytes.resize(have + std::clamp<std::size_t>(room, 1, kPiece));
    const std::size_t n = source.Read(std::span(bytes).subspan(have));
    bytes.resize(have + n);
    if (n == 0) break;
  }
}

}  // namespace

std::size_t MemoryByteSource::Read(std::span<std::uint8_t> into) {
  return copy_out(bytes_, at_, into);
}

std::size_t SpanByteSource::Read(std::span<std::uint8_t> into) { return copy_out(bytes_, at_, into); }

std::vector<std::uint8_t> ReadAll(ByteSource& source) {
  std::vector<std::uint8_t> bytes;
  if (const auto remaining = source.Remaining()) {
    bytes.reserve(static_cast<std::size_t>(*remaining));
    read_on(source, bytes);
    return bytes;
  }
  // Pieces of a fixed size, joined once the size is known: a block grown by
  // doubling would at times hold three times the bytes while it moves.
  std::vector<std::vector<std::uint8_t>> pieces;
  std::size_t total = 0;
  while (!source.AtEnd()) {
    std::vector<std::uint8_t> piece(kPiece);
    const std::size_t n = source.Read(piece);
    if (n == 0) break;
    piece.resize(n);
    total += n;
    pieces.push_back(std::move(piece));
  }
  bytes.reserve(total);
  for (auto& piece : pieces) {
    bytes.insert(bytes.end(), piece.begin(), piece.end());
    piece = {};
  }
  return bytes;
}

}  // namespace wardenix
