#include <cstring>
#include <string>

#include "sysops/system_error.h"

namespace wardenix {

UString SystemErrorText(int code) {
  char buffer[256] = {};
  // The GNU form returns the text, which need not be in the buffer.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
  return from_utf8(::strerror_r(code, buffer, sizeof buffer));
#else
  if (::strerror_r(code, buffer, sizeof buffer) != 0) return u"error " + from_utf8(std::to_string(code));
  return from_utf8(buffer);
#endif
}

}  // namespace wardenix
