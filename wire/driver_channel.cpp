#include "wire/driver_channel.h"

#include "wire/filter_channel.h"
#include "wire/socket_channel.h"

namespace wardenix {

std::unique_ptr<TDbxChannel> MakeDriverChannel(UStringView driver_name) {
  auto socket_channel = std::make_unique<TDBXSocketChannel>();
  if (!equals_ascii_ci(driver_name, u"DataSnap")) return socket_channel;
  return std::make_unique<TDBXFilterSocketChannel>(std::move(socket_channel));
}

}  // namespace wardenix
