#include "datasnap/buffer_size.h"

namespace wardenix {

std::int32_t MessageBufferSize(const TDBXProperties& properties) {
  constexpr std::int32_t kDefaultKB = 32;
  // Beyond this a size would not fit the 32-bit counts of the stream.
  constexpr std::int32_t kLargestKB = 1024 * 1024;
  std::int32_t kb = properties.GetInteger(u"BufferKBSize", kDefaultKB);
  if (kb <= 0) kb = kDefaultKB;
  if (kb > kLargestKB) kb = kLargestKB;
  return kb * 1024;
}

}  // namespace wardenix
