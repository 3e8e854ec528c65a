#pragma once
// The size of the message writer's and reader's buffers.
#include <cstdint>

#include "dbx/properties.h"

namespace wardenix {

// "BufferKBSize" × 1024 bytes; 32 KB when the property is missing, empty,
// zero or negative. A value that is not an integer raises EConvertError.
std::int32_t MessageBufferSize(const TDBXProperties& properties);

}  // namespace wardenix
