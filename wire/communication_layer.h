#pragma once
// TDBXCommunicationLayer, the transport under a socket channel, and the
// process-wide registry of layers by protocol id ("tcp/ip" at start).
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "dbx/properties.h"
#include "mainloop/abort_switch.h"
#include "runtime/ustring.h"

namespace wardenix {

class TDBXCommunicationLayer {
 public:
  virtual ~TDBXCommunicationLayer() = default;

  void SetConnectTimeout(std::int32_t milliseconds) { connect_timeout_ = milliseconds; }
  std::int32_t GetConnectTimeout() const { return connect_timeout_; }

  virtual void Open(const TDBXProperties& properties) = 0;
  virtual void Close() = 0;
  virtual int Read(std::span<std::uint8_t> into) = 0;
  virtual int Write(std::span<const std::uint8_t> bytes) = 0;
  virtual UString AddressText() const = 0;
  // Ends the layer's connection at once; safe from another thread.
  virtual void Terminate() = 0;

  // The switch another thread trips to end a blocked call; set before Open.
  void SetAbortSwitch(std::shared_ptr<AbortSwitch> abort_switch) {
    abort_switch_ = std::move(abort_switch);
  }
  bool Terminated() const { return terminated_.load(); }

 protected:
  const std::shared_ptr<AbortSwitch>& abort_switch() const { return abort_switch_; }

  std::atomic<bool> terminated_{false};
  std::int32_t connect_timeout_ = 0;

 private:
  std::shared_ptr<AbortSwitch> abort_switch_;
};

class TDBXCommunicationLayerFactory {
 public:
  using Creator = std::function<std::unique_ptr<TDBXCommunicationLayer>()>;

  static void RegisterLayer(UStringView id, Creator creator);
  static void UnregisterLayer(UStringView id);
  // A new layer, or null when the id is not registered or creation failed.
  static std::unique_ptr<TDBXCommunicationLayer> CommunicationLayer(UStringView id);
  static std::vector<UString> RegisteredLayerList();
};

}  // namespace wardenix
