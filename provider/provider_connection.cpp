#include "provider/provider_connection.h"

#include <exception>
#include <utility>
#include <vector>

#include "runtime/errors.h"

namespace wardenix {

namespace {

constexpr char16_t kCannotConnect[] =
    u"Cannot connect %s to server, SQLConnection and ServerClassName must both be set.";

TDBXValue& Parameter(TDBXCommand& command, std::int32_t ordinal) {
  return command.GetParameters().GetParameter(ordinal).Value();
}

AppServerStatus FailureOfCurrentException() {
  try {
    throw;
  } catch (const EOleException& e) {
    return AppServerStatus::Failure(e.ErrorCode() < 0 ? e.ErrorCode() : kProviderUnexpected,
                                    e.Message());
  } catch (const Exception& e) {
    return AppServerStatus::Failure(kProviderUnexpected, e.Message());
  } catch (const std::exception& e) {
    return AppServerStatus::Failure(kProviderUnexpected, from_utf8(e.what()));
  } catch (...) {
    return AppServerStatus::Failure(kProviderUnexpected, {});
  }
}

}  // namespace

// The interface handed to datasets. It may outlive the link in a dataset
// that still holds it; from then on every operation fails.
class TDSProviderConnection::ProviderInterface final : public IAppServer {
 public:
  explicit ProviderInterface(TDSProviderConnection* link) : link_(link) {}
  void Detach() { link_ = nullptr; }

  AppServerStatus AS_ApplyUpdates(const UString& ProviderName, const Variant& Delta,
                                  std::int32_t MaxErrors, std::int32_t& ErrorCount,
                                  Variant& OwnerData, Variant& Result) override {
    if (!link_) return Released();
    return link_->AS_ApplyUpdates(ProviderName, Delta, MaxErrors, ErrorCount, OwnerData, Result);
  }
  AppServerStatus AS_GetRecords(const UString& ProviderName, std::int32_t Count,
                                std::int32_t& RecsOut, std::int32_t Options,
                                const UString& CommandText, Variant& Params, Variant& OwnerData,
                                Variant& Result) override {
    if (!link_) return Released();
    return link_->AS_GetRecords(ProviderName, Count, RecsOut, Options, CommandText, Params,
                                OwnerData, Result);
  }
  AppServerStatus AS_DataRequest(const UString& ProviderName, const Variant& Data,
                                 Variant& Result) override {
    if (!link_) return Released();
    return link_->AS_DataRequest(ProviderName, Data, Result);
  }
  AppServerStatus AS_GetProviderNames(Variant& Result) override {
    if (!link_) return Released();
    return link_->AS_GetProviderNames(Result);
  }
  AppServerStatus AS_GetParams(const UString& ProviderName, Variant& OwnerData,
                               Variant& Result) override {
    if (!link_) return Released();
    return link_->AS_GetParams(ProviderName, OwnerData, Result);
  }
  AppServerStatus AS_RowRequest(const UString& ProviderName, const Variant& Row,
                                std::int32_t RequestType, Variant& OwnerData,
                                Variant& Result) override {
    if (!link_) return Released();
    return link_->AS_RowRequest(ProviderName, Row, RequestType, OwnerData, Result);
  }
  AppServerStatus AS_Execute(const UString& ProviderName, const UString& CommandText,
                             Variant& Params, Variant& OwnerData) override {
    if (!link_) return Released();
    return link_->AS_Execute(ProviderName, CommandText, Params, OwnerData);
  }

 private:
  static AppServerStatus Released() {
    return AppServerStatus::Failure(kProviderUnexpected, u"The provider connection was released");
  }

  TDSProviderConnection* link_;
};

TDSProviderConnection::TDSProviderConnection(UString AName)
    : Name(std::move(AName)), FAppServer(std::make_shared<ProviderInterface>(this)) {}

TDSProviderConnection::~TDSProviderConnection() {
  NotifyRemoval();
  EmptyCommandCache();
  Unregister();
  FAppServer->Detach();
}

void TDSProviderConnection::SetServerClassName(const UString& Value) {
  if (Value != FServerClassName) EmptyCommandCache();
  FServerClassName = Value;
}

void TDSProviderConnection::SetSQLConnection(TSQLConnection* Value) {
  if (Value == FSQLConnection) return;
  // The commands belong to the old component's connection.
  EmptyCommandCache();
  Unregister();
  FSQLConnection = Value;
  if (Value) {
    Value->FreeNotification(this, [this, Value] { Notification(Value, opRemove); });
    Value->RegisterClient(this, [this](bool connected) { ConnectionChanged(connected); });
  }
}

void TDSProviderConnection::Unregister() {
  if (!FSQLConnection) return;
  FSQLConnection->RemoveFreeNotification(this);
  FSQLConnection->UnregisterClient(this);
}

void TDSProviderConnection::Notification(const TSQLConnection* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent != nullptr && AComponent == FSQLConnection) {
    FSQLConnection = nullptr;
  }
}

bool TDSProviderConnection::Connected() const {
  return FSQLConnection != nullptr && FSQLConnection->Connected();
}

void TDSProviderConnection::SetConnected(bool Value) {
  if (FLoading) {
    FStreamedConnected = Value;
    return;
  }
  if (Value) {
    if (!Connected() && (FServerClassName.empty() || !FSQLConnection)) {
      throw EDatabaseError(format_message(kCannotConnect, {Name}));
    }
    if (Connected()) return;
    if (BeforeConnect) BeforeConnect();
    DoConnect();
    SendConnectEvent(true);
    if (AfterConnect) AfterConnect();
  } else {
    if (!Connected()) return;
    SendConnectEvent(false);
    DoDisconnect();
  }
}

void TDSProviderConnection::Loaded() {
  FLoading = false;
  if (FStreamedConnected) SetConnected(true);
}

void TDSProviderConnection::DoConnect() {
  FSQLConnection->SetConnected(true);
  FAppServerValue = Variant::from_interface(FAppServer);
}

void TDSProviderConnection::DoDisconnect() {
  FAppServerValue = Variant::Null();
  EmptyCommandCache();
}

// The datasets are not told: they keep the interface across the component's
// disconnects, and their next call prepares a fresh command.
void TDSProviderConnection::ConnectionChanged(bool Connecting) {
  if (Connecting) {
    DoConnect();
  } else {
    DoDisconnect();
  }
}

std::shared_ptr<IAppServer> TDSProviderConnection::GetServer() {
  SetConnected(true);
  FAppServerValue = Variant::from_interface(FAppServer);
  return FAppServer;
}

void TDSProviderConnection::EmptyCommandCache() {
  FApplyUpdatesCommand.reset();
  FGetRecordsCommand.reset();
  FDataRequestCommand.reset();
  FGetProviderNamesCommand.reset();
  FGetParamsCommand.reset();
  FRowRequestCommand.reset();
  FExecuteCommand.reset();
}

AppServerStatus TDSProviderConnection::Run(std::unique_ptr<TDBXCommand>& slot,
                                           UStringView CommandName,
                                           const std::function<void(TDBXCommand&)>& steps) {
  try {
    if (!slot || !FSQLConnection) SetConnected(true);
    // Preparing and executing both wait for the server.
    TSQLConnection::CallScope call(*FSQLConnection);
    if (!slot) {
      std::unique_ptr<TDBXCommand> command = FSQLConnection->DBXConnection()->CreateCommand();
      command->SetCommandType(kServerMethodCommandType);
      command->SetText(format_message(u"%s.%s", {FServerClassName, CommandName}));
      command->Prepare();
      slot = std::move(command);
    }
    steps(*slot);
    return AppServerStatus::Success();
  } catch (...) {
    return FailureOfCurrentException();
  }
}

AppServerStatus TDSProviderConnection::AS_ApplyUpdates(const UString& ProviderName,
                                                       const Variant& Delta,
                                                       std::int32_t MaxErrors,
                                                       std::int32_t& ErrorCount,
                                                       Variant& OwnerData, Variant& Result) {
  return Run(FApplyUpdatesCommand, u"AS_ApplyUpdates", [&](TDBXCommand& command) {
    Parameter(command, 0).SetWideString(ProviderName);
    Parameter(command, 1).SetAsVariant(Delta);
    Parameter(command, 2).SetInt32(MaxErrors);
    Parameter(command, 3).SetInt32(ErrorCount);
    Parameter(command, 4).SetAsVariant(OwnerData);
    Parameter(command, 5).SetNull();
    command.ExecuteUpdate();
    ErrorCount = Parameter(command, 3).GetInt32();
    OwnerData = Parameter(command, 4).GetAsVariant();
    Result = Parameter(command, 5).GetAsVariant();
  });
}

AppServerStatus TDSProviderConnection::AS_GetRecords(const UString& ProviderName,
                                                     std::int32_t Count, std::int32_t& RecsOut,
                                                     std::int32_t Options,
                                                     const UString& CommandText, Variant& Params,
                                                     Variant& OwnerData, Variant& Result) {
  return Run(FGetRecordsCommand, u"AS_GetRecords", [&](TDBXCommand& command) {
    Parameter(command, 0).SetWideString(ProviderName);
    Parameter(command, 1).SetInt32(Count);
    Parameter(command, 2).SetInt32(RecsOut);
    Parameter(command, 3).SetInt32(Options);
    Parameter(command, 4).SetWideString(CommandText);
    Parameter(command, 5).SetAsVariant(Params);
    Parameter(command, 6).SetAsVariant(OwnerData);
    Parameter(command, 7).SetNull();
    command.ExecuteUpdate();
    RecsOut = Parameter(command, 2).GetInt32();
    Params = Parameter(command, 5).GetAsVariant();
    OwnerData = Parameter(command, 6).GetAsVariant();
    Result = Parameter(command, 7).GetAsVariant();
  });
}

AppServerStatus TDSProviderConnection::AS_DataRequest(const UString& ProviderName,
                                                      const Variant& Data, Variant& Result) {
  return Run(FDataRequestCommand, u"AS_DataRequest", [&](TDBXCommand& command) {
    Parameter(command, 0).SetWideString(ProviderName);
    Parameter(command, 1).SetAsVariant(Data);
    Parameter(command, 2).SetNull();
    command.ExecuteUpdate();
    Result = Parameter(command, 2).GetAsVariant();
  });
}

// The name carries a colon, unlike the other six.
AppServerStatus TDSProviderConnection::AS_GetProviderNames(Variant& Result) {
  return Run(FGetProviderNamesCommand, u"AS_GetProviderNames:", [&](TDBXCommand& command) {
    Parameter(command, 0).SetNull();
    command.ExecuteUpdate();
    TDBXValue& names = Parameter(command, 0);
    Result = ProviderNamesFromText(names.IsNull() ? UString() : names.GetWideString());
  });
}

AppServerStatus TDSProviderConnection::AS_GetParams(const UString& ProviderName,
                                                    Variant& OwnerData, Variant& Result) {
  return Run(FGetParamsCommand, u"AS_GetParams", [&](TDBXCommand& command) {
    Parameter(command, 0).SetWideString(ProviderName);
    Parameter(command, 1).SetAsVariant(OwnerData);
    Parameter(command, 2).SetNull();
    command.ExecuteUpdate();
    OwnerData = Parameter(command, 1).GetAsVariant();
    Result = Parameter(command, 2).GetAsVariant();
  });
}

AppServerStatus TDSProviderConnection::AS_RowRequest(const UString& ProviderName,
                                                     const Variant& Row,
                                                     std::int32_t RequestType,
                                                     Variant& OwnerData, Variant& Result) {
  return Run(FRowRequestCommand, u"AS_RowRequest", [&](TDBXCommand& command) {
    Parameter(command, 0).SetWideString(ProviderName);
    Parameter(command, 1).SetAsVariant(Row);
    Parameter(command, 2).SetInt32(RequestType);
    Parameter(command, 3).SetAsVariant(OwnerData);
    Parameter(command, 4).SetNull();
    command.ExecuteUpdate();
    OwnerData = Parameter(command, 3).GetAsVariant();
    Result = Parameter(command, 4).GetAsVariant();
  });
}

AppServerStatus TDSProviderConnection::AS_Execute(const UString& ProviderName,
                                                  const UString& CommandText, Variant& Params,
                                                  Variant& OwnerData) {
  return Run(FExecuteCommand, u"AS_Execute", [&](TDBXCommand& command) {
    Parameter(command, 0).SetWideString(ProviderName);
    Parameter(command, 1).SetWideString(CommandText);
    Parameter(command, 2).SetAsVariant(Params);
    Parameter(command, 3).SetAsVariant(OwnerData);
    command.ExecuteUpdate();
    Params = Parameter(command, 2).GetAsVariant();
    OwnerData = Parameter(command, 3).GetAsVariant();
  });
}

Variant ProviderNamesFromText(UStringView Names) {
  if (Names.empty()) return Variant::Null();
  std::vector<Variant> names;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = Names.find(u',', start);
    names.push_back(Variant::from_string(UString(Names.substr(start, comma - start))));
    if (comma == UStringView::npos) break;
    start = comma + 1;
  }
  return Variant::from_elements(std::move(names));
}

}  // namespace wardenix
