#pragma once
// TDSProviderConnection: the remote server of a client dataset over the
// connection component. It gives its datasets the provider interface and
// carries each provider operation to the application server as one call of
// the server method ServerClassName + "." + the operation's name, through a
// command it prepares once and keeps until the connection disconnects.
//
// It has no connection of its own: it is connected exactly when its
// connection component is, and it follows that component's connects and
// disconnects through the component's client list.
//
// Threads: main thread only, like the connection component it drives. A
// provider call marks itself as a call on that component, so that a
// watchdog's abort ends it as it ends the probe's own call.
#include <cstdint>
#include <functional>
#include <memory>

#include "dataset/app_server.h"
#include "dataset/remote_server.h"
#include "datasnap/sql_connection.h"
#include "dbx/command.h"
#include "runtime/ustring.h"
#include "runtime/variant.h"

namespace wardenix {

class TDSProviderConnection final : public TCustomRemoteServer {
 public:
  explicit TDSProviderConnection(UString Name = {});
  // Empties the command cache and releases the provider interface; the
  // datasets that asked are told first.
  ~TDSProviderConnection() override;

  UString Name;

  const UString& ServerClassName() const { return FServerClassName; }
  // A different name empties the command cache.
  void SetServerClassName(const UString& Value);
  TSQLConnection* SQLConnection() const { return FSQLConnection; }
  // Leaves the old component's client list and joins the new one's, asking
  // to be told when it is destroyed.
  void SetSQLConnection(TSQLConnection* Value);

  // True exactly when a connection component is set and connected.
  bool Connected() const;
  // True connects the connection component when needed (running its
  // handlers) and tells this link's datasets; raises EDatabaseError "Cannot
  // connect NAME to server, ..." without a server class name or component.
  // False tells the datasets and drops the commands; the component stays
  // connected.
  void SetConnected(bool Value);

  std::shared_ptr<IAppServer> GetServer() override;
  // The provider interface as a dispatch value while connected, else Null.
  const Variant& AppServer() const { return FAppServerValue; }

  // The removal notice of the connection component.
  void Notification(const TSQLConnection* AComponent, TOperation Operation);

  // While the component is read from its stored form, Connected is only
  // noted and applied by Loaded.
  void BeginLoading() { FLoading = true; }
  void Loaded();

  std::function<void()> BeforeConnect, AfterConnect;

  // The provider operations. None raises: a failure comes back as the
  // status E_UNEXPECTED, or the error's own negative status for an
  // EOleException, with the error's message.
  AppServerStatus AS_ApplyUpdates(const UString& ProviderName, const Variant& Delta,
                                  std::int32_t MaxErrors, std::int32_t& ErrorCount,
                                  Variant& OwnerData, Variant& Result);
  AppServerStatus AS_GetRecords(const UString& ProviderName, std::int32_t Count,
                                std::int32_t& RecsOut, std::int32_t Options,
                                const UString& CommandText, Variant& Params, Variant& OwnerData,
                                Variant& Result);
  AppServerStatus AS_DataRequest(const UString& ProviderName, const Variant& Data,
                                 Variant& Result);
  // The server's comma-separated names as an array of texts; Null for none.
  AppServerStatus AS_GetProviderNames(Variant& Result);
  AppServerStatus AS_GetParams(const UString& ProviderName, Variant& OwnerData, Variant& Result);
  AppServerStatus AS_RowRequest(const UString& ProviderName, const Variant& Row,
                                std::int32_t RequestType, Variant& OwnerData, Variant& Result);
  AppServerStatus AS_Execute(const UString& ProviderName, const UString& CommandText,
                             Variant& Params, Variant& OwnerData);

 private:
  class ProviderInterface;

  // The connect notice of the connection component.
  void ConnectionChanged(bool Connecting);
  void DoConnect();
  void DoDisconnect();
  void EmptyCommandCache();
  void Unregister();
  // Runs one operation: `slot`'s command, created and prepared on first use,
  // is handed to `steps`, which write the inputs, execute and read back.
  AppServerStatus Run(std::unique_ptr<TDBXCommand>& slot, UStringView CommandName,
                      const std::function<void(TDBXCommand&)>& steps);

  std::shared_ptr<ProviderInterface> FAppServer;
  UString FServerClassName;
  TSQLConnection* FSQLConnection = nullptr;
  std::unique_ptr<TDBXCommand> FApplyUpdatesCommand;
  std::unique_ptr<TDBXCommand> FGetRecordsCommand;
  std::unique_ptr<TDBXCommand> FDataRequestCommand;
  std::unique_ptr<TDBXCommand> FGetProviderNamesCommand;
  std::unique_ptr<TDBXCommand> FGetParamsCommand;
  std::unique_ptr<TDBXCommand> FRowRequestCommand;
  std::unique_ptr<TDBXCommand> FExecuteCommand;
  Variant FAppServerValue = Variant::Null();
  bool FLoading = false;
  bool FStreamedConnected = false;
};

// "a,b c" gives the texts "a" and "b c": only commas separate. An empty text
// gives Null.
Variant ProviderNamesFromText(UStringView Names);

}  // namespace wardenix
