#include "datasnap/driver_channel.h"

#include "datasnap/filter_channel.h"
#include "datasnap/socket_channel.h"

namespace wardenix {

std::unique_ptr<TDbxChannel> MakeDriverChannel(UStringView driver_name) {
  auto socket_channel = std::make_unique<TDBXSocketChannel>();
  if (!equals_ascii_ci(driver_name, u"DataSnap")) return socket_channel;
  return std::make_unique<TDBXFilterSocketChannel>(std::move(socket_channel));
}

}  // namespace wardenix
