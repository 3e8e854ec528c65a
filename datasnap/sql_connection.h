#pragma once
// TSQLConnection: the program's connection component. It keeps the
// connection parameters, opens a driver connection when `Connected` is set,
// runs its before- and after-connect handlers and tells its clients of every
// connect and disconnect. Use it on the main thread; the connected state and
// the abort of a blocked call are safe from any thread.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "datasnap/abort_switch.h"
#include "datasnap/connection_params.h"
#include "dbx/dbx_connection.h"

namespace wardenix {

enum class ConnectionState { Closed, Connecting, Open, Executing, Fetching, Disconnecting };

class TSQLConnection {
 public:
  explicit TSQLConnection(const TDBXDriverRegistry& drivers);
  TSQLConnection(const TSQLConnection&) = delete;
  TSQLConnection& operator=(const TSQLConnection&) = delete;
  ~TSQLConnection();  // disconnects first

  UString DriverName;
  bool LoginPrompt = false;
  bool LoadParamsOnConnect = false;
  bool KeepConnection = true;
  UString VendorLib, LibraryName, GetDriverFunc;
  ConnectionParams Params;
  std::function<void()> BeforeConnect, AfterConnect, BeforeDisconnect, AfterDisconnect;

  void SetConnected(bool connected);
  // Any thread: what the main thread last published, without waiting.
  bool Connected() const { return connected_.load(); }
  ConnectionState State() const { return state_.load(); }
  // The open driver connection, or none.
  TDBXConnection* DBXConnection() const { return connection_.get(); }
  const DatabaseMetaData& MetaData() const { return metadata_; }
  // The property list of the last connect.
  const TDBXProperties& ConnectionProperties() const { return properties_; }

  // Any thread: ends a connect or remote call that the main thread is blocked
  // in, so that it fails at once. Does nothing while no call is under way.
  void AbortBlockedCall();
  // Marks a remote call on the open connection (the state becomes executing),
  // so that AbortBlockedCall can end it.
  class CallScope;

  // Clients are told `true` after every connect and `false` before every
  // disconnect.
  using Client = std::function<void(bool connected)>;
  void RegisterClient(const void* owner, Client client);
  void UnregisterClient(const void* owner);

 private:
  void connect();
  void disconnect();
  void set_state(ConnectionState state);
  void notify_clients(bool connected);

  const TDBXDriverRegistry& drivers_;
  std::atomic<ConnectionState> state_{ConnectionState::Closed};
  std::atomic<bool> connected_{false};
  std::unique_ptr<TDBXConnection> connection_;
  TDBXProperties properties_;
  DatabaseMetaData metadata_;
  std::vector<std::pair<const void*, Client>> clients_;
  // The abort switch of the connect or call under way; guarded, since another
  // thread trips it.
  std::mutex abort_mutex_;
  std::shared_ptr<AbortSwitch> abort_;
  bool busy_ = false;
};

class TSQLConnection::CallScope {
 public:
  explicit CallScope(TSQLConnection& connection);
  ~CallScope();
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

 private:
  TSQLConnection& connection_;
};

}  // namespace wardenix
