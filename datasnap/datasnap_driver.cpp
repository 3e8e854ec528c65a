#include "datasnap/datasnap_driver.h"

#include "datasnap/client_connection.h"

namespace wardenix {
namespace {

class DatasnapDriver final : public TDBXDriver {
 public:
  TDBXProperties DefaultProperties() const override {
    return TDBXProperties{{u"DriverUnit", u"DbxDatasnap"},
                          {u"HostName", u"localhost"},
                          {u"Port", u"211"},
                          {u"CommunicationProtocol", u"tcp/ip"}};
  }

  std::unique_ptr<TDBXConnection> Open(const TDBXProperties& properties,
                                       std::shared_ptr<AbortSwitch> abort) override {
    return OpenObserved(properties, std::move(abort), nullptr);
  }

  std::unique_ptr<TDBXConnection> OpenObserved(const TDBXProperties& properties,
                                               std::shared_ptr<AbortSwitch> abort,
                                               PhaseObserver observer) override {
    auto connection = std::make_unique<TDBXClientConnection>(properties);
    if (observer) connection->Context().SetPhaseObserver(std::move(observer));
    connection->Open(std::move(abort));
    return connection;
  }
};

}  // namespace

std::shared_ptr<TDBXDriver> make_datasnap_driver() { return std::make_shared<DatasnapDriver>(); }

const TDBXDriverRegistry& default_driver_registry() {
  static TDBXDriverRegistry registry;
  static const bool registered = [] {
    registry.Register(u"Datasnap", make_datasnap_driver());
    return true;
  }();
  (void)registered;
  return registry;
}

}  // namespace wardenix
