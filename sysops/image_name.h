#pragma once
// The rule by which a running process's image name matches a searched name.
#include "runtime/ustring.h"

namespace wardenix {

// True when `image_name` (as the process table gives it) names the program
// `wanted`: its part after the last "\" or ":" (or all of it), or the whole
// name, equals `wanted` with only ASCII letters compared without case.
bool ImageNameMatches(UStringView image_name, UStringView wanted);

}  // namespace wardenix
