#pragma once
// Looks for a running process by its executable image name.
#include <cstdint>

#include "runtime/ustring.h"

namespace wardenix {

// The identifier of the first process whose image name matches `Nome`
// (ASCII letters compared without case), or 0 when none runs.
std::uint32_t VerificaProcesso(UStringView Nome);

}  // namespace wardenix
