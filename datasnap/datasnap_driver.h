#pragma once
// The driver registered under "Datasnap", and the registry the program's
// connections use.
#include <memory>

#include "dbx/dbx_connection.h"

namespace wardenix {

std::shared_ptr<TDBXDriver> make_datasnap_driver();
// The registry with "Datasnap" registered.
const TDBXDriverRegistry& default_driver_registry();

}  // namespace wardenix
