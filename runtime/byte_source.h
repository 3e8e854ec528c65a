#pragma once
// A forward-only source of bytes: the content of a stream value, or the
// rest of a value that did not fit its row.
#include <cstdint>
#include <optional>
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
  // How many bytes are left, when the source knows it before reading them:
  // what holds them can then be sized once.
  virtual std::optional<std::uint64_t> Remaining() const { return std::nullopt; }
};

class MemoryByteSource final : public ByteSource {
 public:
  explicit MemoryByteSource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  std::size_t Read(std::span<std::uint8_t> into) override;
  bool AtEnd() const override { return at_ >= bytes_.size(); }
  std::optional<std::uint64_t> Remaining() const override { return bytes_.size() - at_; }
  std::size_t Size() const { return bytes_.size(); }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

// Bytes that someone else holds, read without a copy of their own.
class SpanByteSource final : public ByteSource {
 public:
  explicit SpanByteSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::size_t Read(std::span<std::uint8_t> into) override;
  bool AtEnd() const override { return at_ >= bytes_.size(); }
  std::optional<std::uint64_t> Remaining() const override { return bytes_.size() - at_; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

// Reads a source to its end into a block of exactly its size. A source that
// does not know its size is collected in pieces first, so that at most twice
// its size is held at any moment.
std::vector<std::uint8_t> ReadAll(ByteSource& source);

}  // namespace wardenix
