#include "runtime/error_code.h"

namespace wardenix {

std::optional<std::int32_t> ErrorCodeOf(const Exception& error) {
  if (const auto* dbx = dynamic_cast<const TDBXError*>(&error)) return dbx->ErrorCode();
  if (const auto* store = dynamic_cast<const EDBClient*>(&error)) return store->ErrorCode();
  if (const auto* ole = dynamic_cast<const EOleException*>(&error)) return ole->ErrorCode();
  return std::nullopt;
}

}  // namespace wardenix
