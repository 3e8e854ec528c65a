#include "runtime/errors.h"

#include <utility>

namespace wardenix {

Exception::Exception(UString message) : message_(std::move(message)), utf8_(to_utf8(message_)) {}

namespace {

UString dbx_message(std::int32_t code, UString message) {
  if (!message.empty()) return message;
  return format_message(u"DBX Error:  %s", {dbx_error_code_name(code)});
}

}  // namespace

TDBXError::TDBXError(std::int32_t error_code, UString message)
    : Exception(dbx_message(error_code, std::move(message))), error_code_(error_code) {}

UString dbx_error_code_name(std::int32_t error_code) {
  static constexpr const char16_t* kNames[] = {
      u"None",
      u"Warning",
      u"Insufficient memory to complete the operation",
      u"Unsupported field type",
      u"Unexpected internal error. DBX Object such as a connection, command, or reader may "
      u"already be closed.",
      u"Not supported",
      u"Invalid time",
      u"Invalid type",
      u"Invalid ordinal",
      u"Invalid parameter",
      u"No more rows",
      u"Parameter not set",
      u"Invalid username or password",
      u"Invalid precision",
      u"Invalid length",
      u"Invalid isolation level",
      u"Invalid transaction id",
      u"Duplicate transaction id",
      u"Driver restricted",
      u"Transaction active",
      u"Multiple transaction not enabled",
      u"Connection failed",
      u"Driver could not be properly initialized.  Client library may be missing, not "
      u"installed properly, or of the wrong version.",
      u"Optimistic lock failed",
      u"Invalid reference",
      u"No table",
      u"Missing parameter marker",
      u"Not implemented",
      u"Driver incompatible",
      u"Invalid argument",
  };
  constexpr auto kCount = static_cast<std::int32_t>(sizeof kNames / sizeof kNames[0]);
  if (error_code >= 0 && error_code < kCount) return kNames[error_code];
  if (error_code == 100) return u"No data";
  if (error_code == 101) return u"Vendor error";
  return u"Error Code:  " + to_ustring(error_code);
}

EDBClient::EDBClient(UString message, std::int32_t error_code)
    : EDatabaseError(std::move(message)), error_code_(error_code) {}

EOleException::EOleException(UString message, std::int32_t error_code)
    : Exception(std::move(message)), error_code_(error_code) {}

}  // namespace wardenix
