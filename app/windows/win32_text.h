#pragma once
// The program's UTF-16 text as the wide strings of the Windows API.
#include <string>

#include "runtime/ustring.h"

namespace wardenix {

inline std::wstring wide(UStringView text) { return std::wstring(text.begin(), text.end()); }
inline UString from_wide(std::wstring_view text) { return UString(text.begin(), text.end()); }

}  // namespace wardenix
