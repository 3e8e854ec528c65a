#pragma once
// TDBXCallback: client code the server may call while a command executes.
// The server hands it one argument as JSON text; what it returns goes back
// to the server as JSON text.
#include <optional>
#include <string>
#include <string_view>

namespace wardenix {

class TDBXCallback {
 public:
  virtual ~TDBXCallback() = default;
  // The JSON text of the result; nothing stands for JSON null. An exception
  // reaches the server as an error object.
  virtual std::optional<std::string> Execute(std::string_view json_argument) = 0;
};

}  // namespace wardenix
