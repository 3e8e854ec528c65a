#pragma once
// TDBXClientConnection: the connection of the "Datasnap" driver. Opening it
// opens the channel (with the transport handshake), sends every connection
// property in the connect message and takes the server's connection handle;
// closing it sends the disconnect message, awaits no reply and closes the
// channel. Its commands share its wire.
#include <cstdint>
#include <memory>
#include <vector>

#include "datasnap/client_handlers.h"
#include "dbx/dbx_connection.h"

namespace wardenix {

class TDBXClientConnection final : public TDBXConnection {
 public:
  explicit TDBXClientConnection(TDBXProperties properties);
  // Closes when still open; a failure to tell the server is ignored here.
  ~TDBXClientConnection() override;

  // The largest value a reply may carry (see reply_limit.h); taken at Open.
  void SetReplyLimit(std::uint64_t limit) { reply_limit_ = limit; }

  // Tripping `abort` (when given) from another thread ends a blocked connect,
  // read or write at once. A failed open leaves the connection closed.
  void Open(std::shared_ptr<AbortSwitch> abort = nullptr);
  void Close() override;
  bool IsOpen() const { return wire_ != nullptr; }

  DatabaseMetaData ReadDatabaseMetaData() override;
  // "DataSnap.ServerMethod" and every other type: a TDBXClientCommand.
  std::unique_ptr<TDBXCommand> CreateDriverCommand(UStringView command_type) override;

  std::int32_t ConnectionHandle() const { return handle_; }
  const UString& GetProductName() const { return product_name_; }
  std::int32_t ProtocolVersion() const { return protocol_version_; }
  const TDBXProperties& ConnectionProperties() const { return properties_; }

  // Asks the server only with protocol version 2 or more, once per name.
  UString GetVendorProperty(UStringView name);

  // The command types the driver offers: "DataSnap.ServerMethod" only.
  std::vector<UString> GetCommandTypes() const;
  // The commands of a type. For "DataSnap.ServerMethod" the server's methods
  // as "DSAdmin.GetServerMethods" lists them (its column "MethodAlias");
  // any other type has none.
  std::vector<UString> GetCommands(UStringView command_type);

  struct Transaction {
    std::int32_t handle = 0;
    std::int32_t isolation_level = 0;
  };
  Transaction BeginTransaction(std::int32_t isolation_level);
  void Commit(const Transaction& transaction);
  void Rollback(const Transaction& transaction);

 private:
  TDBXJSonClientOutputConnectionHandler& Wire();

  TDBXProperties properties_;
  std::uint64_t reply_limit_ = kReplyLimit;
  std::shared_ptr<TDBXJSonClientOutputConnectionHandler> wire_;
  std::int32_t handle_ = -1;
  UString product_name_;
  std::int32_t protocol_version_ = 0;
  TDBXProperties vendor_properties_;
};

// The size of the message writer's and reader's buffers: "BufferKBSize" ×
// 1024 bytes; 32 KB when the property is missing, empty, zero or negative. A
// value that is not an integer raises EConvertError.
std::int32_t MessageBufferSize(const TDBXProperties& properties);

}  // namespace wardenix
