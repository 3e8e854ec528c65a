#pragma once
// The steps a connection goes through up to the preparation of a server
// method, as a diagnostic observer hears of them.
#include <functional>

namespace wardenix {

enum class ConnectionPhase {
  TcpConnect,      // the socket is connected
  Handshake,       // the transport handshake is answered
  ConnectMessage,  // the server answered the connect message
  Metadata,        // the metadata command is read
  Prepare,         // a server method is prepared
};

// Told as each phase ends well, on the thread that ran it; a phase that fails
// is not told. An observer must not throw.
using PhaseObserver = std::function<void(ConnectionPhase done)>;

}  // namespace wardenix
