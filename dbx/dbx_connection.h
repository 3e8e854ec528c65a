#pragma once
// An open connection to a server, as a driver makes it, and the driver
// registry that connections are opened through.
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "datasnap/abort_switch.h"
#include "datasnap/properties.h"
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
};

class TDBXConnection {
 public:
  virtual ~TDBXConnection() = default;
  // Runs the metadata command "Dbx.MetaData" / "GetDatabase" on the server.
  virtual DatabaseMetaData ReadDatabaseMetaData() = 0;
  // Ends the connection: tells the server when it can and closes the channel.
  // A failure to tell the server propagates; the channel is closed anyway.
  virtual void Close() = 0;
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
};

class TDBXDriverRegistry {
 public:
  void Register(UString name, std::shared_ptr<TDBXDriver> driver);
  // The driver of that name (ASCII case ignored); TDBXError 22
  // "Unknown driver:  %s" when none is registered.
  std::shared_ptr<TDBXDriver> Find(UStringView name) const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<UString, std::shared_ptr<TDBXDriver>>> drivers_;
};

}  // namespace wardenix
