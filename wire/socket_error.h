#pragma once
// The error class of the socket layer.
#include "runtime/errors.h"

namespace wardenix {

class ESocketError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "ESocketError"; }
};

// "Windows socket error: <system text> (<number>), on API '<api>'".
[[noreturn]] void RaiseSocketError(UStringView system_text, int error_number, UStringView api);

}  // namespace wardenix
