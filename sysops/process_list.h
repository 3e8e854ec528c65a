#pragma once
// The running processes with their image names, as the system lists them.
#include <cstdint>
#include <functional>

#include "runtime/ustring.h"

namespace wardenix {

// Calls `visit` for each process whose image name can be known, in the
// system's order, until it returns false.
void ForEachProcessImage(const std::function<bool(std::uint32_t pid, UStringView image_name)>& visit);

}  // namespace wardenix
