#include "datasnap/sql_connection.h"

#include <algorithm>

#include "runtime/errors.h"

namespace wardenix {

TSQLConnection::TSQLConnection(const TDBXDriverRegistry& drivers) : drivers_(drivers) {}

TSQLConnection::~TSQLConnection() {
  try {
    disconnect();
  } catch (...) {
    // Nothing is left to tell of a connection that could not say goodbye.
  }
  // An owner may leave the list while told; work on a copy of it.
  const auto notices = removal_notices_;
  for (const auto& told : notices) {
    const bool still_there = std::any_of(removal_notices_.begin(), removal_notices_.end(),
                                         [&](const auto& entry) { return entry.first == told.first; });
    if (still_there && told.second) told.second();
  }
}

void TSQLConnection::SetConnected(bool connected) {
  if (connected) {
    connect();
  } else {
    disconnect();
  }
}

void TSQLConnection::set_state(ConnectionState state) {
  state_.store(state);
  connected_.store(connection_ != nullptr &&
                   (state == ConnectionState::Open || state == ConnectionState::Executing ||
                    state == ConnectionState::Fetching));
}

void TSQLConnection::connect() {
  if (Connected()) return;
  // The switch exists before the first step, so that an abort at any moment
  // of the connect, the after-connect handler's calls included, is kept.
  {
    MutexLock lock(abort_mutex_);
    abort_ = std::make_shared<AbortSwitch>();
    abort_pending_ = false;
  }
  Operation connecting(*this, Operation::Kind::Other);
  try {
    open_driver_connection();
  } catch (...) {
    MutexLock lock(abort_mutex_);
    abort_.reset();
    throw;
  }
  set_state(ConnectionState::Open);
  notify_clients(true);
  if (AfterConnect) AfterConnect();
}

void TSQLConnection::open_driver_connection() {
  if (BeforeConnect) BeforeConnect();

  TDBXProperties properties;
  for (const auto& line : Params.Lines()) {
    auto [name, value] = split_param_line(line);
    properties.SetValue(name, trim(value));
  }
  // These four are appended even when empty, as the list's last lines.
  for (const auto& [name, value] : {std::pair<UStringView, UStringView>{u"DriverName", DriverName},
                                    {u"VendorLib", VendorLib},
                                    {u"LibraryName", LibraryName},
                                    {u"GetDriverFunc", GetDriverFunc}}) {
    properties.SetValue(name, value);
  }
  if (DriverName.empty()) throw EDatabaseError(u"Missing DriverName property");

  std::shared_ptr<AbortSwitch> abort;
  {
    MutexLock lock(abort_mutex_);
    abort = abort_;
  }
  set_state(ConnectionState::Connecting);
  try {
    const auto driver = drivers_.Find(DriverName);
    const TDBXProperties defaults = driver->DefaultProperties();
    // No login dialog: a user name and a password are sent only when both are set.
    const auto login_value = [&](UStringView name) {
      UString value = Params.Value(name);
      return value.empty() ? defaults.GetValue(name) : value;
    };
    const UString user = login_value(u"User_Name");
    const UString password = login_value(u"Password");
    if (!user.empty() && !password.empty()) {
      properties.SetValue(u"User_Name", user);
      properties.SetValue(u"Password", password);
    }
    for (const auto& [name, value] : defaults.Pairs()) {
      if (!properties.HasName(name)) properties.SetValue(name, value);
    }
    properties_ = properties;
    connection_ = driver->OpenObserved(properties_, abort, OnPhase);
    metadata_ = connection_->ReadDatabaseMetaData();
  } catch (...) {
    std::unique_ptr<TDBXConnection> failed = std::move(connection_);
    set_state(ConnectionState::Closed);
    if (failed) {
      try {
        failed->Close();
      } catch (...) {
        // The original failure is the one the caller hears of.
      }
    }
    throw;
  }
}

void TSQLConnection::disconnect() {
  if (!Connected()) return;
  struct ClosedAtEnd {
    TSQLConnection& self;
    ~ClosedAtEnd() {
      self.set_state(ConnectionState::Closed);
      MutexLock lock(self.abort_mutex_);
      self.abort_.reset();
    }
  } closed_at_end{*this};
  Operation disconnecting(*this, Operation::Kind::Disconnect);
  if (BeforeDisconnect) BeforeDisconnect();
  notify_clients(false);
  set_state(ConnectionState::Disconnecting);
  std::unique_ptr<TDBXConnection> closing = std::move(connection_);
  closing->Close();
  if (AfterDisconnect) AfterDisconnect();
}

void TSQLConnection::AbortBlockedCall() {
  MutexLock lock(abort_mutex_);
  if (!abort_) return;
  if (operations_ > 0) {
    abort_->Trip();
  } else {
    abort_pending_ = true;
  }
}

void TSQLConnection::RegisterClient(const void* owner, Client client) {
  UnregisterClient(owner);
  clients_.emplace_back(owner, std::move(client));
}

void TSQLConnection::UnregisterClient(const void* owner) {
  std::erase_if(clients_, [&](const auto& entry) { return entry.first == owner; });
}

void TSQLConnection::FreeNotification(const void* owner, RemovalNotice notice) {
  RemoveFreeNotification(owner);
  removal_notices_.emplace_back(owner, std::move(notice));
}

void TSQLConnection::RemoveFreeNotification(const void* owner) {
  std::erase_if(removal_notices_, [&](const auto& entry) { return entry.first == owner; });
}

void TSQLConnection::notify_clients(bool connected) {
  const auto clients = clients_;  // a client may unregister while told
  for (const auto& [owner, client] : clients) {
    if (client) client(connected);
  }
}

TSQLConnection::Operation::Operation(TSQLConnection& connection, Kind kind)
    : connection_(connection) {
  MutexLock lock(connection_.abort_mutex_);
  ++connection_.operations_;
  if (kind == Kind::Disconnect) connection_.abort_pending_ = false;
  if (connection_.abort_pending_ && connection_.abort_) connection_.abort_->Trip();
}

TSQLConnection::Operation::~Operation() {
  MutexLock lock(connection_.abort_mutex_);
  --connection_.operations_;
}

TSQLConnection::CallScope::CallScope(TSQLConnection& connection)
    : operation_(connection, Operation::Kind::Other), connection_(connection) {
  if (connection_.State() == ConnectionState::Open) connection_.set_state(ConnectionState::Executing);
}

TSQLConnection::CallScope::~CallScope() {
  if (connection_.State() == ConnectionState::Executing) {
    connection_.set_state(ConnectionState::Open);
  }
}

}  // namespace wardenix
