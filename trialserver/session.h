#pragma once
// What the trial server does with each accepted connection. A session runs on
// a thread of its own and owns the connection until it returns; a protocol
// is served by handing the server another session.
#include <functional>

#include "trialserver/socket.h"

namespace wardenix::trial {

using Session = std::function<void(Connection&)>;

// Reads and drops whatever arrives until the peer closes the connection.
void hold_until_closed(Connection& connection);

}  // namespace wardenix::trial
