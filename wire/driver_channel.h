#pragma once
// The channel a connection opens for its driver: the filter channel around
// a socket channel for the driver name "DataSnap" (in any case of letters),
// a bare socket channel for any other driver.
#include <memory>

#include "runtime/ustring.h"
#include "wire/channel.h"

namespace wardenix {

std::unique_ptr<TDbxChannel> MakeDriverChannel(UStringView driver_name);

}  // namespace wardenix
