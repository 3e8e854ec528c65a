#pragma once
// A resolver that answers only when the test lets it, for connects whose host
// lookup must hang without a real resolver. Each lookup waits until
// release(), then answers `address` (or `error`); the resolver releases them
// when it goes, and waits until none is left under way, so no lookup thread
// outlives the test blocked.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "wire/communication_layer.h"
#include "wire/host_lookup.h"
#include "wire/tcp_layer.h"
#include "wire/tcp_socket.h"

namespace wardenix::testing {

class StandInResolver {
 public:
  explicit StandInResolver(std::uint32_t address = 0, int error = 1) : state_(std::make_shared<State>()) {
    state_->address = address;
    state_->error = error;
  }
  StandInResolver(const StandInResolver&) = delete;
  StandInResolver& operator=(const StandInResolver&) = delete;
  ~StandInResolver() { release(); }

  // The seam's function; it shares the resolver's state, which outlives it.
  HostLookup lookup() const {
    return [state = state_](UStringView host, std::uint32_t& address) {
      std::unique_lock lock(state->mutex);
      ++state->asked;
      state->hosts.emplace_back(host);
      ++state->under_way;
      state->changed.notify_all();
      state->changed.wait(lock, [&] { return state->released; });
      --state->under_way;
      state->changed.notify_all();
      address = state->address;
      return state->error;
    };
  }

  // Waits until a lookup of `host` has begun: other connections of the
  // process (a test's in-process servers and peers) may look up other names.
  void wait_until_asked_for(UStringView host) {
    std::unique_lock lock(state_->mutex);
    state_->changed.wait(lock, [&] {
      for (const UString& asked : state_->hosts) {
        if (asked == host) return true;
      }
      return false;
    });
  }
  int asked() const {
    std::lock_guard lock(state_->mutex);
    return state_->asked;
  }

  // Answers every lookup, now and later, and waits until the ones under way
  // have answered.
  void release() {
    std::unique_lock lock(state_->mutex);
    state_->released = true;
    state_->changed.notify_all();
    state_->changed.wait(lock, [&] { return state_->under_way == 0; });
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    int asked = 0;
    std::vector<UString> hosts;
    int under_way = 0;
    bool released = false;
    std::uint32_t address = 0;
    int error = 0;
  };
  std::shared_ptr<State> state_;
};

// Every "tcp/ip" connection made while it exists looks its host up through
// `lookup`; then the system's lookup again.
class ScopedTcpLookup {
 public:
  explicit ScopedTcpLookup(HostLookup lookup) {
    TDBXCommunicationLayerFactory::RegisterLayer(u"tcp/ip", [lookup = std::move(lookup)] {
      return std::make_unique<TDBXTCPLayer>(TDBXScheduler::Instance(), lookup);
    });
  }
  ScopedTcpLookup(const ScopedTcpLookup&) = delete;
  ScopedTcpLookup& operator=(const ScopedTcpLookup&) = delete;
  ~ScopedTcpLookup() {
    TDBXCommunicationLayerFactory::RegisterLayer(u"tcp/ip", [] { return std::make_unique<TDBXTCPLayer>(); });
  }
};

// What a connect reports when an abort ends it, for comparing with what a
// connect whose lookup was abandoned reports.
inline std::string aborted_connect_error() {
  TcpSocket socket;
  socket.Abort();
  try {
    socket.Connect(u"127.0.0.1", 1);
  } catch (const ESocketError& e) {
    return e.what();
  }
  return "connected";
}

}  // namespace wardenix::testing
