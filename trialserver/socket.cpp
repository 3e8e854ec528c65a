#include "trialserver/socket.h"

namespace wardenix::trial {
namespace {

// Waits are cut into slices only so that each stays within what every
// system's wait takes; a stop ends any of them at once.
constexpr Millis kLongestWait{60000};

}  // namespace

std::unique_ptr<Connection> Listener::accept() {
  while (!stopped_.load()) {
    if (auto connection = accept_within(kLongestWait)) return connection;
  }
  return nullptr;
}

void Listener::stop() {
  stopped_.store(true);
  if (port_ != 0) connect_loopback(port_);  // wakes the wait; closed again at once
}

}  // namespace wardenix::trial
