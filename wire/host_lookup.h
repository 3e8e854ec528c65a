#pragma once
// How a socket finds the IPv4 address of a host name: the system's resolver
// by default, a stand-in in tests. The system's lookup cannot be ended from
// outside, and a resolver that never answers holds it for as long as its own
// time limits and attempts take (tens of seconds), so a connect runs it on a
// thread of its own and waits for its answer or an abort (tcp_socket.cpp).
#include <cstdint>
#include <functional>

#include "runtime/ustring.h"

namespace wardenix {

// Puts the first IPv4 address of `host`, in network order, into `address`:
// 0, or the lookup's error (a number LookupErrorText names). It may block
// for as long as it takes; it never throws. It runs on a thread of its own,
// which may outlive the socket that asked: what it uses must live as long.
using HostLookup = std::function<int(UStringView host, std::uint32_t& address)>;

// The system's lookup: getaddrinfo on Linux, GetAddrInfoW on Windows.
int SystemHostLookup(UStringView host, std::uint32_t& address);
UString LookupErrorText(int error);

}  // namespace wardenix
