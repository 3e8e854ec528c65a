#pragma once
// TDBXRowBlobStreamReader: the part of a row value that did not fit its
// row. It hands out the bytes that came inline first, then asks for the
// next chunks through a request callback (the command layer sends more_blob
// and reads the reply's "data" chunk).
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "runtime/byte_source.h"
#include "runtime/reply_limit.h"

namespace wardenix {

// Which value a blob reader pulls.
struct BlobKey {
  std::int32_t command_handle = -1;
  std::int32_t blob_handle = 0;
  std::int64_t row = 0;
  std::int32_t ordinal = 0;
  bool parameter_row = false;
  std::int32_t row_handle = 0;
};

// Appends the next chunk of the value to `into`; returns true when more
// chunks follow.
using BlobRequest = std::function<bool(const BlobKey& key, std::vector<std::uint8_t>& into)>;

// Shared between a row and its blob readers: closing or executing the
// command again moves the generation on, which invalidates the readers.
struct BlobGeneration {
  std::atomic<std::uint32_t> value{0};
};

class TDBXRowBlobStreamReader final : public ByteSource {
 public:
  // The value's bytes, the inline part included, may add up to `limit`
  // (see reply_limit.h); a chunk that takes them past it is refused.
  TDBXRowBlobStreamReader(BlobKey key, std::optional<std::int64_t> known_size,
                          std::vector<std::uint8_t> inline_part, BlobRequest request,
                          std::shared_ptr<const BlobGeneration> generation,
                          std::uint64_t limit = kReplyLimit);

  // Raises TDBXError 4 "Command closed or executed again" once the
  // command was closed or executed again.
  std::size_t Read(std::span<std::uint8_t> into) override;
  bool AtEnd() const override;
  // Known for a blob reference, which gives the whole size.
  std::optional<std::uint64_t> Remaining() const override;

  const BlobKey& Key() const { return key_; }
  std::optional<std::int64_t> KnownSize() const { return known_size_; }

 private:
  BlobKey key_;
  std::optional<std::int64_t> known_size_;
  std::vector<std::uint8_t> buffered_;
  std::size_t at_ = 0;
  bool more_ = true;
  std::uint64_t delivered_ = 0;
  std::uint64_t received_;
  std::uint64_t limit_;
  BlobRequest request_;
  std::shared_ptr<const BlobGeneration> generation_;
  std::uint32_t created_in_;
};

}  // namespace wardenix
