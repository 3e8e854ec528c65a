#include "trialserver/connection_channel.h"

#include <climits>

namespace wardenix::trial {

ConnectionChannel::ConnectionChannel(Connection& connection) : connection_(connection) {
  SetAbortHandle(std::make_shared<AbortSwitch>());
}

ConnectionChannel::~ConnectionChannel() {
  if (abort_) abort_->Detach();
}

void ConnectionChannel::SetAbortHandle(std::shared_ptr<AbortSwitch> abort_switch) {
  if (abort_) abort_->Detach();
  abort_ = std::move(abort_switch);
  if (abort_) abort_->Attach([&connection = connection_] { connection.shut_down(); });
}

int ConnectionChannel::Read(std::span<std::uint8_t> into) {
  if (into.size() > INT_MAX) into = into.first(INT_MAX);
  const std::ptrdiff_t n = connection_.receive(std::as_writable_bytes(into));
  return static_cast<int>(n);
}

int ConnectionChannel::Write(std::span<const std::uint8_t> bytes) {
  if (bytes.size() > INT_MAX) return -1;
  return connection_.send_all(std::as_bytes(bytes)) ? static_cast<int>(bytes.size()) : -1;
}

}  // namespace wardenix::trial
