#pragma once
// The code an error carries, for reports that name it beside the class.
#include <cstdint>
#include <optional>

#include "runtime/errors.h"

namespace wardenix {

// The code of a TDBXError, EDBClient or EOleException; none for the others.
std::optional<std::int32_t> ErrorCodeOf(const Exception& error);

}  // namespace wardenix
