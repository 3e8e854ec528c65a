#pragma once
// Asks the operating system's service manager for the state of one service.
#include <cstdint>

#include "runtime/ustring.h"

namespace wardenix {

// -2: the machine's service manager cannot be opened; -1: the service cannot
// be opened (not installed, or no right to query it); 0: its status cannot be
// read; 1 to 7: stopped, start pending, stop pending, running, continue
// pending, pause pending, paused. An empty machine name is the local computer.
// Never throws. On Linux the service N is the systemd unit "N.service", asked
// over the system D-Bus within 5 s; only this computer's service manager is
// reached (any other machine gives -2). sysops/README.md has the mapping.
std::int32_t QueryServiceState(UStringView ServiceName, UStringView MachineName);

}  // namespace wardenix
