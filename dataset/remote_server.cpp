#include "dataset/remote_server.h"

#include <algorithm>

namespace wardenix {

namespace {

void add_once(std::vector<IRemoteServerClient*>& list, IRemoteServerClient* client) {
  if (client && std::find(list.begin(), list.end(), client) == list.end()) list.push_back(client);
}

void remove(std::vector<IRemoteServerClient*>& list, IRemoteServerClient* client) {
  list.erase(std::remove(list.begin(), list.end(), client), list.end());
}

}  // namespace

TCustomRemoteServer::~TCustomRemoteServer() { NotifyRemoval(); }

void TCustomRemoteServer::RegisterClient(IRemoteServerClient* Client) { add_once(FClients, Client); }
void TCustomRemoteServer::UnRegisterClient(IRemoteServerClient* Client) { remove(FClients, Client); }
void TCustomRemoteServer::FreeNotification(IRemoteServerClient* Client) { add_once(FFreeNotifies, Client); }
void TCustomRemoteServer::RemoveFreeNotification(IRemoteServerClient* Client) {
  remove(FFreeNotifies, Client);
}

void TCustomRemoteServer::SendConnectEvent(bool Connecting) {
  // A client may unregister while it is told; work on a copy of the list.
  const auto clients = FClients;
  for (auto* client : clients) {
    if (std::find(FClients.begin(), FClients.end(), client) != FClients.end()) {
      client->DataEvent(deConnectChange, Connecting ? 1 : 0);
    }
  }
}

void TCustomRemoteServer::NotifyRemoval() {
  if (FRemovalSent) return;
  FRemovalSent = true;
  const auto notified = FFreeNotifies;
  for (auto* client : notified) {
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), client) != FFreeNotifies.end()) {
      client->Notification(this, opRemove);
    }
  }
  FFreeNotifies.clear();
  FClients.clear();
}

}  // namespace wardenix
