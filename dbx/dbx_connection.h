#pragma once
// An open connection to a server, as a driver makes it, and the driver
// registry that connections are opened through.
#include <functional>
#include <map>
#include <memory>

#include "dbx/connection_phase.h"
#include "dbx/dbx_context.h"
#include "dbx/properties.h"
#include "mainloop/abort_switch.h"
#include "runtime/mutex.h"
#include "runtime/ustring.h"

namespace wardenix {

// What the connection component keeps of the server's database metadata.
struct DatabaseMetaData {
  UString QuoteChar;
  UString ProcedureQuoteChar;
  std::int32_t MaxCommands = 0;
  bool SupportsTransactions = false;
  bool SupportsNestedTransactions = false;
  bool SupportsRowSetSize = false;
  // Only from servers whose answer has more than nine columns.
  UString QuotePrefix;
  UString QuoteSuffix;
  bool SupportsLowerCaseIdentifiers = false;
  bool SupportsUpperCaseIdentifiers = false;
  bool SupportsSPReturnCode = false;
};

class TDBXCommand;
class TDBXMorphicCommand;

class TDBXConnection {
 public:
  TDBXConnection() = default;
  TDBXConnection(const TDBXConnection&) = delete;
  TDBXConnection& operator=(const TDBXConnection&) = delete;
  // Commands still alive become unusable; they are not closed on the server.
  virtual ~TDBXConnection();

  // Runs the metadata command "Dbx.MetaData" / "GetDatabase" on the server;
  // the connection keeps what it read.
  virtual DatabaseMetaData ReadDatabaseMetaData() = 0;
  // Ends the connection: tells the server when it can and closes the channel.
  // A failure to tell the server propagates; the channel is closed anyway.
  virtual void Close() = 0;

  // A new command on this connection, owned by the caller; sends nothing.
  std::unique_ptr<TDBXCommand> CreateCommand();
  // The driver's command for a command type; drivers without commands
  // raise TDBXError 27.
  virtual std::unique_ptr<TDBXCommand> CreateDriverCommand(UStringView command_type);

  const TDBXContext& Context() const { return context_; }
  TDBXContext& Context() { return context_; }
  const DatabaseMetaData& MetaData() const { return metadata_; }
  std::int32_t IsolationLevel() const { return isolation_level_; }
  void SetIsolationLevel(std::int32_t value) { isolation_level_ = value; }

 protected:
  void SetMetaData(DatabaseMetaData metadata) { metadata_ = std::move(metadata); }
  // Closes every command still alive and marks it as belonging to a closed
  // connection; failures to tell the server are ignored.
  void CloseCommands();

 private:
  friend class TDBXMorphicCommand;
  void Unregister(TDBXMorphicCommand* command);

  TDBXContext context_;
  DatabaseMetaData metadata_;
  std::int32_t isolation_level_ = -1;
  std::vector<TDBXMorphicCommand*> commands_;
};

class TDBXDriver {
 public:
  virtual ~TDBXDriver() = default;
  // The properties a connection gets for names it does not set, in order.
  virtual TDBXProperties DefaultProperties() const = 0;
  // Opens a connection; tripping `abort` from another thread ends a blocked
  // open, and any later blocked call on the connection, at once.
  virtual std::unique_ptr<TDBXConnection> Open(const TDBXProperties& properties,
                                               std::shared_ptr<AbortSwitch> abort) = 0;
  // The same open, telling `observer` (when set) of each phase the
  // connection and its commands finish. A driver with no phases to tell
  // opens as Open does.
  virtual std::unique_ptr<TDBXConnection> OpenObserved(const TDBXProperties& properties,
                                                       std::shared_ptr<AbortSwitch> abort,
                                                       PhaseObserver observer) {
    (void)observer;
    return Open(properties, std::move(abort));
  }
};

class TDBXDriverRegistry {
 public:
  void Register(UString name, std::shared_ptr<TDBXDriver> driver) EXCLUDES(mutex_);
  // The driver of that name (ASCII case ignored); TDBXError 22
  // "Unknown driver:  %s" when none is registered.
  std::shared_ptr<TDBXDriver> Find(UStringView name) const EXCLUDES(mutex_);

 private:
  mutable Mutex mutex_;
  std::vector<std::pair<UString, std::shared_ptr<TDBXDriver>>> drivers_ GUARDED_BY(mutex_);
};

}  // namespace wardenix
