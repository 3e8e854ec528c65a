#include "wire/blob_reader.h"

#include <algorithm>
#include <cstring>

#include "runtime/errors.h"

namespace wardenix {

TDBXRowBlobStreamReader::TDBXRowBlobStreamReader(BlobKey key,
                                                 std::optional<std::int64_t> known_size,
                                                 std::vector<std::uint8_t> inline_part,
                                                 BlobRequest request,
                                                 std::shared_ptr<const BlobGeneration> generation,
                                                 std::uint64_t limit)
    : key_(key),
      known_size_(known_size),
      buffered_(std::move(inline_part)),
      received_(buffered_.size()),
      limit_(limit),
      request_(std::move(request)),
      generation_(std::move(generation)),
      created_in_(generation_ ? generation_->value.load() : 0) {}

bool TDBXRowBlobStreamReader::AtEnd() const { return at_ >= buffered_.size() && !more_; }

std::optional<std::uint64_t> TDBXRowBlobStreamReader::Remaining() const {
  if (!known_size_ || *known_size_ < 0) return std::nullopt;
  const auto size = static_cast<std::uint64_t>(*known_size_);
  return size > delivered_ ? size - delivered_ : 0;
}

std::size_t TDBXRowBlobStreamReader::Read(std::span<std::uint8_t> into) {
  if (generation_ && generation_->value.load() != created_in_) {
    throw TDBXError(4, u"Command closed or executed again");
  }
  std::size_t delivered = 0;
  while (delivered < into.size()) {
    if (at_ < buffered_.size()) {
      const std::size_t n = std::min(into.size() - delivered, buffered_.size() - at_);
      std::memcpy(into.data() + delivered, buffered_.data() + at_, n);
      at_ += n;
      delivered += n;
      continue;
    }
    if (!more_) break;
    if (!request_) throw TDBXError(4, u"Command closed or executed again");
    buffered_.clear();
    at_ = 0;
    more_ = request_(key_, buffered_);
    received_ += buffered_.size();
    CheckReplySize(received_, limit_);
  }
  delivered_ += delivered;
  return delivered;
}

}  // namespace wardenix
