#pragma once
// The text the system gives for one of its error codes (errno, or
// GetLastError on Windows), for messages to an administrator.
#include "runtime/ustring.h"

namespace wardenix {

UString SystemErrorText(int code);

}  // namespace wardenix
