#pragma once
// TSQLConnection: the program's connection component. It keeps the
// connection parameters, opens a driver connection when `Connected` is set,
// runs its before- and after-connect handlers and tells its clients of every
// connect and disconnect. Use it on the main thread; the connected state and
// the abort of a blocked call are safe from any thread.
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "datasnap/connection_params.h"
#include "dbx/dbx_connection.h"
#include "mainloop/abort_switch.h"
#include "runtime/mutex.h"

namespace wardenix {

enum class ConnectionState { Closed, Connecting, Open, Executing, Fetching, Disconnecting };

class TSQLConnection {
 public:
  explicit TSQLConnection(const TDBXDriverRegistry& drivers);
  TSQLConnection(const TSQLConnection&) = delete;
  TSQLConnection& operator=(const TSQLConnection&) = delete;
  ~TSQLConnection();  // disconnects first, then sends the removal notices

  UString DriverName;
  bool LoginPrompt = false;
  bool LoadParamsOnConnect = false;
  bool KeepConnection = true;
  UString VendorLib, LibraryName, GetDriverFunc;
  ConnectionParams Params;
  std::function<void()> BeforeConnect, AfterConnect, BeforeDisconnect, AfterDisconnect;
  // Diagnostics: told of each phase the next connects and their commands
  // finish (connection_phase.h); empty in the program.
  PhaseObserver OnPhase;

  void SetConnected(bool connected);
  // Any thread: what the main thread last published, without waiting.
  bool Connected() const { return connected_.load(); }
  ConnectionState State() const { return state_.load(); }
  // The open driver connection, or none.
  TDBXConnection* DBXConnection() const { return connection_.get(); }
  const DatabaseMetaData& MetaData() const { return metadata_; }
  // The property list of the last connect.
  const TDBXProperties& ConnectionProperties() const { return properties_; }

  // Any thread: ends whatever the main thread is blocked in on this
  // connection, at any moment from the start of a connect to the end of a
  // disconnect, so that it fails at once; the connection then stays broken
  // until it is closed. An abort that comes while no operation is under way
  // breaks the next one, except the disconnect, which still says goodbye.
  void AbortBlockedCall() EXCLUDES(abort_mutex_);
  // Marks a remote call on the open connection (the state becomes executing)
  // outside a connect, so that AbortBlockedCall can end it.
  class CallScope;

  // Clients are told `true` after every connect and `false` before every
  // disconnect.
  using Client = std::function<void(bool connected)>;
  void RegisterClient(const void* owner, Client client);
  void UnregisterClient(const void* owner);
  // The removal notice: told once, when the component is destroyed (after
  // its disconnect), so that `owner` drops its reference to it.
  using RemovalNotice = std::function<void()>;
  void FreeNotification(const void* owner, RemovalNotice notice);
  void RemoveFreeNotification(const void* owner);

 private:
  void connect();
  void open_driver_connection();
  void disconnect();
  void set_state(ConnectionState state);
  void notify_clients(bool connected);
  // An operation under way on the main thread, which AbortBlockedCall ends.
  class Operation;

  const TDBXDriverRegistry& drivers_;
  std::atomic<ConnectionState> state_{ConnectionState::Closed};
  std::atomic<bool> connected_{false};
  std::unique_ptr<TDBXConnection> connection_;
  TDBXProperties properties_;
  DatabaseMetaData metadata_;
  std::vector<std::pair<const void*, Client>> clients_;
  std::vector<std::pair<const void*, RemovalNotice>> removal_notices_;
  // Guarded, since another thread aborts: the switch of the connection from
  // the start of its connect to the end of its disconnect, how many
  // operations are under way, and an abort that came while none was.
  Mutex abort_mutex_;
  std::shared_ptr<AbortSwitch> abort_ GUARDED_BY(abort_mutex_);
  int operations_ GUARDED_BY(abort_mutex_) = 0;
  bool abort_pending_ GUARDED_BY(abort_mutex_) = false;
};

class TSQLConnection::Operation {
 public:
  // A disconnect forgets an abort that came while it was not under way.
  enum class Kind { Other, Disconnect };
  Operation(TSQLConnection& connection, Kind kind);
  ~Operation();
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

 private:
  TSQLConnection& connection_;
};

class TSQLConnection::CallScope {
 public:
  explicit CallScope(TSQLConnection& connection);
  ~CallScope();
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

 private:
  Operation operation_;
  TSQLConnection& connection_;
};

}  // namespace wardenix
