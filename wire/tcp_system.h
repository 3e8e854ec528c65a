#pragma once
// The system calls under TcpSocket, one set per platform (tcp_linux.cpp,
// tcp_win.cpp). The handle is non-blocking underneath, and every wait is also
// on a wake signal that Abort() raises, so that an abort ends it at once
// without closing a handle another call may use. The retrying, waiting and
// errors around these calls are the same on every platform (tcp_socket.cpp).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "runtime/mutex.h"
#include "runtime/ustring.h"
#include "wire/host_lookup.h"
#include "wire/tcp_socket.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <cerrno>
#endif

namespace wardenix {

#ifdef _WIN32
inline constexpr int kConnectionAborted = WSAECONNABORTED;
inline constexpr int kAddressNotAvailable = WSAEADDRNOTAVAIL;
#else
inline constexpr int kConnectionAborted = ECONNABORTED;
inline constexpr int kAddressNotAvailable = EADDRNOTAVAIL;
#endif

// What one send or receive call came to.
struct SocketTransfer {
  enum Outcome { Moved, Interrupted, WouldBlock, Failed };
  Outcome outcome = Failed;
  std::size_t bytes = 0;  // Moved
  int error = 0;          // Failed: the system's error number
};

// The system's text for a socket error number.
UString SocketErrorText(int error);

// A host lookup's answer, handed from the thread that runs the lookup to the
// socket that waits for it, with a signal the socket's waits can take along
// with its wake signal. Both hold it, so that it outlives whichever lets go
// first: an aborted connect leaves the lookup and its thread behind.
struct LookupHandover {
  LookupHandover();
  ~LookupHandover();
  LookupHandover(const LookupHandover&) = delete;
  LookupHandover& operator=(const LookupHandover&) = delete;

  // False when the system refused the signal.
  bool HasSignal() const;
  // The lookup's thread: keeps the answer and raises the signal.
  void Answer(int error, std::uint32_t address) EXCLUDES(mutex);

  Mutex mutex;
  bool answered GUARDED_BY(mutex) = false;
  int error GUARDED_BY(mutex) = 0;
  std::uint32_t address GUARDED_BY(mutex) = 0;

#ifdef _WIN32
  HANDLE answered_event = nullptr;
#else
  int signal_read = -1;
  int signal_write = -1;
#endif
};

struct TcpSocket::Impl {
  Impl();
  ~Impl();

  // Ends the current and every later wait. Any thread.
  void Abort();
  // Creates the handle ready for use; false when the system refuses.
  bool Open();
  bool IsOpen() const;
  void CloseSocket();

  // Connects and waits until the connection stands: 0, the system's error,
  // or kConnectionAborted when aborted.
  int Connect(std::uint32_t address, std::uint16_t port);
  SocketTransfer Receive(std::span<std::uint8_t> into);
  SocketTransfer Send(std::span<const std::uint8_t> bytes);
  // Waits until a Receive or Send that would block may go on; false when
  // aborted.
  bool WaitReadable();
  bool WaitWritable();
  // Waits until the lookup has answered; false when aborted first.
  bool WaitForLookup(const LookupHandover& lookup);

  std::atomic<bool> aborted{false};
  bool connected = false;

#ifdef _WIN32
  SOCKET fd = INVALID_SOCKET;
  WSAEVENT io_event = WSA_INVALID_EVENT;
  HANDLE abort_event = nullptr;
#else
  int fd = -1;
  int wake_read = -1;
  int wake_write = -1;
#endif
};

}  // namespace wardenix
