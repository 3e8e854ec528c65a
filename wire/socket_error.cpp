#include "wire/socket_error.h"

namespace wardenix {

void RaiseSocketError(UStringView system_text, int error_number, UStringView api) {
  UString message = u"Windows socket error: ";
  message += system_text;
  message += u" (";
  message += to_ustring(error_number);
  message += u"), on API '";
  message += api;
  message += u"'";
  throw ESocketError(std::move(message));
}

}  // namespace wardenix
