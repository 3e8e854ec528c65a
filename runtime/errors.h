#pragma once
// The exception classes of the system. Every one carries a UTF-16 message;
// `what()` gives it as UTF-8 for the edges that print it.
#include <cstdint>
#include <exception>
#include <string>

#include "runtime/ustring.h"

namespace wardenix {

class Exception : public std::exception {
 public:
  explicit Exception(UString message);
  const UString& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return utf8_.c_str(); }
  // The class name as administrators see it in diagnostics.
  virtual const char* ClassName() const noexcept { return "Exception"; }

 private:
  UString message_;
  std::string utf8_;
};

// Error of the remote-call client and its command model.
class TDBXError : public Exception {
 public:
  // An empty message becomes "DBX Error:  " and the name of the code.
  TDBXError(std::int32_t error_code, UString message);
  std::int32_t ErrorCode() const noexcept { return error_code_; }
  const char* ClassName() const noexcept override { return "TDBXError"; }

 private:
  std::int32_t error_code_;
};

// The name of a remote-call error code ("Connection failed" for 21, ...).
UString dbx_error_code_name(std::int32_t error_code);

class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EDatabaseError"; }
};

// Error of the client data store, with the store's status.
class EDBClient : public EDatabaseError {
 public:
  EDBClient(UString message, std::int32_t error_code);
  std::int32_t ErrorCode() const noexcept { return error_code_; }
  const char* ClassName() const noexcept override { return "EDBClient"; }

 private:
  std::int32_t error_code_;
};

// A failure that crossed the provider interface, with its status.
class EOleException : public Exception {
 public:
  EOleException(UString message, std::int32_t error_code);
  std::int32_t ErrorCode() const noexcept { return error_code_; }
  const char* ClassName() const noexcept override { return "EOleException"; }

 private:
  std::int32_t error_code_;
};

class EInvalidOperation : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EInvalidOperation"; }
};

// A value that cannot be converted, such as a date outside the calendar.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EConvertError"; }
};

}  // namespace wardenix
