#pragma once
// A packet option read back as a variant, as GetOptionalParam gives it.
#include "dataset/packet_metadata.h"
#include "runtime/variant.h"

namespace wardenix {

// Code 3: a Boolean, true when the first 16 bits of the value (or its only
// byte) are not 0. Codes 1 and 2 with size 1, 2 or 4: an integer. Code 4: a
// floating-point value. Codes 9 and 10: a text. Anything else is unassigned.
Variant OptionToVariant(const PacketOption& option);

}  // namespace wardenix
