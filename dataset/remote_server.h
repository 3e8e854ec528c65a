#pragma once
// The remote server contract: what a client dataset needs from the component
// named in its RemoteServer. The server hands out the provider interface,
// keeps a list of its client datasets (told of its own connects and
// disconnects through DataEvent) and tells those that asked when it is
// destroyed.
#include <cstdint>
#include <memory>
#include <vector>

#include "dataset/app_server.h"

namespace wardenix {

enum TDataEvent { deConnectChange };
enum TOperation { opInsert, opRemove };

class TCustomRemoteServer;

// A dataset as a remote server sees it.
class IRemoteServerClient {
 public:
  // deConnectChange with Info 1 for a connect and 0 for a disconnect.
  virtual void DataEvent(TDataEvent Event, std::intptr_t Info) = 0;
  // The removal notice: `AComponent` is being destroyed.
  virtual void Notification(TCustomRemoteServer* AComponent, TOperation Operation) = 0;

 protected:
  ~IRemoteServerClient() = default;
};

class TCustomRemoteServer {
 public:
  TCustomRemoteServer() = default;
  TCustomRemoteServer(const TCustomRemoteServer&) = delete;
  TCustomRemoteServer& operator=(const TCustomRemoteServer&) = delete;
  // Sends the removal notice to everyone who asked for it.
  virtual ~TCustomRemoteServer();

  // The provider interface, connecting first when not connected. Raises an
  // error with a message when it cannot connect.
  virtual std::shared_ptr<IAppServer> GetServer() = 0;

  void RegisterClient(IRemoteServerClient* Client);
  void UnRegisterClient(IRemoteServerClient* Client);
  void FreeNotification(IRemoteServerClient* Client);
  void RemoveFreeNotification(IRemoteServerClient* Client);

 protected:
  // DataEvent(deConnectChange, Connecting) to every registered client; called
  // from the server's own connect and disconnect sequences.
  void SendConnectEvent(bool Connecting);
  // Sends the removal notices now (once); derived destructors may call it
  // first, while the whole object is still alive.
  void NotifyRemoval();

 private:
  std::vector<IRemoteServerClient*> FClients;
  std::vector<IRemoteServerClient*> FFreeNotifies;
  bool FRemovalSent = false;
};

}  // namespace wardenix
