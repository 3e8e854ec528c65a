#include "dbx/dbx_connection.h"

#include "runtime/errors.h"

namespace wardenix {

void TDBXDriverRegistry::Register(UString name, std::shared_ptr<TDBXDriver> driver) {
  std::lock_guard lock(mutex_);
  for (auto& entry : drivers_) {
    if (equals_ascii_ci(entry.first, name)) {
      entry.second = std::move(driver);
      return;
    }
  }
  drivers_.emplace_back(std::move(name), std::move(driver));
}

std::shared_ptr<TDBXDriver> TDBXDriverRegistry::Find(UStringView name) const {
  std::lock_guard lock(mutex_);
  for (const auto& entry : drivers_) {
    if (equals_ascii_ci(entry.first, name)) return entry.second;
  }
  throw TDBXError(22, format_message(u"Unknown driver:  %s", {name}));
}

}  // namespace wardenix
