#pragma once
// A forward-only source of bytes: the content of a stream value, or the
// rest of a value that did not fit its row.
#include <cstdint>
#include <span>
#include <vector>

namespace wardenix {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Copies up to `into.size()` bytes and returns how many; fewer only when
  // the source has no more.
  virtual std::size_t Read(std::span<std::uint8_t> into) = 0;
  // True once every byte has been read.
  virtual bool AtEnd() const = 0;
};

class MemoryByteSource final : public ByteSource {
 public:
  explicit MemoryByteSource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  std::size_t Read(std::span<std::uint8_t> into) override;
  bool AtEnd() const override { return at_ >= bytes_.size(); }
  std::size_t Size() const { return bytes_.size(); }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

// Reads a source to its end.
std::vector<std::uint8_t> ReadAll(ByteSource& source);

}  // namespace wardenix
