#pragma once
// TDbxChannel: the byte pipe under the message stream. Read returns the
// bytes delivered, 0 at end of stream, -1 on failure; Write returns the bytes
// accepted or -1.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "dbx/properties.h"
#include "mainloop/abort_switch.h"
#include "runtime/ustring.h"

namespace wardenix {

struct TDBXSocketChannelInfo {
  std::int32_t id = 0;
  UString info;
};

class TDbxChannel {
 public:
  virtual ~TDbxChannel() = default;

  virtual void Open() = 0;
  virtual void Close() = 0;
  virtual int Read(std::span<std::uint8_t> into) = 0;
  virtual int Write(std::span<const std::uint8_t> bytes) = 0;
  virtual TDBXSocketChannelInfo GetChannelInfo() const = 0;

  // The switch that ends this channel's blocked connect or read at once
  // when another thread trips it. Later operations fail at once too.
  virtual std::shared_ptr<AbortSwitch> AbortHandle() = 0;
  // Makes the channel answer to a switch its owner holds; before Open.
  virtual void SetAbortHandle(std::shared_ptr<AbortSwitch> abort_switch) = 0;

  // Set before Open; the layer reads it.
  void SetDbxProperties(TDBXProperties properties) { properties_ = std::move(properties); }
  const TDBXProperties& DbxProperties() const { return properties_; }

  // Diagnostics: called once the transport handshake is answered, by a
  // channel that has one. Set before Open.
  void SetOnHandshakeDone(std::function<void()> done) { handshake_done_ = std::move(done); }

 protected:
  void HandshakeDone() const {
    if (handshake_done_) handshake_done_();
  }

 private:
  TDBXProperties properties_;
  std::function<void()> handshake_done_;
};

}  // namespace wardenix
