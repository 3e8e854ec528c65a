#include "dataset/client_dataset.h"

#include <exception>
#include <string>
#include <utility>

#include "dataset/option_value.h"
#include "runtime/errors.h"

namespace wardenix {

namespace {

constexpr const char16_t* kInvalidDataPacket = u"Invalid data packet";
constexpr const char16_t* kMissingProvider = u"Missing data provider or data packet";
constexpr const char16_t* kDataSetOpen = u"Cannot perform this operation on an open dataset";
constexpr const char16_t* kDataSetClosed = u"Cannot perform this operation on a closed dataset";

}  // namespace

Variant VarToDataPacket(const Variant& Value) {
  if (Value.is_null()) return {};
  if (Value.is_array() && Value.bound(0).high > 20) return Value;
  throw EDatabaseError(kInvalidDataPacket);
}

TClientDataSet::TClientDataSet(UString AName) : Name(std::move(AName)), FProviderName() {}

TClientDataSet::~TClientDataSet() {
  FDestroying = true;
  try {
    Close();
  } catch (...) {
    // Nothing is sent to a provider while destroying, and the store's
    // release does not fail.
  }
  if (FRemoteServer) {
    FRemoteServer->UnRegisterClient(this);
    FRemoteServer->RemoveFreeNotification(this);
  }
}

void TClientDataSet::SetState(TDataSetState Value) {
  FState = Value;
  FActive.store(Value != dsInactive && Value != dsOpening, std::memory_order_release);
}

void TClientDataSet::SetData(const Variant& Value) {
  FSavePacketOnClose = false;
  Close();
  FSavedPacket = Variant();
  if (Value.is_null()) return;
  // Variant arrays never change once built, so sharing the bytes is as good
  // as a private copy and costs nothing for a large packet.
  FSavedPacket = VarToDataPacket(Value);
  Open();
}

void TClientDataSet::SetActive(bool Value) {
  if (FLoading) {
    FStreamedActive = Value;
    return;
  }
  if (Value == Active()) return;
  if (Value) {
    if (BeforeOpen) BeforeOpen(*this);
    try {
      OpenStep();
    } catch (...) {
      SetState(dsInactive);
      try {
        CloseStep();
      } catch (...) {
        // The error that made the open fail is the one the caller sees.
      }
      throw;
    }
    SetState(dsBrowse);
    if (AfterOpen) AfterOpen(*this);
  } else {
    if (!FDestroying && BeforeClose) BeforeClose(*this);
    SetState(dsInactive);
    CloseStep();
    if (!FDestroying && AfterClose) AfterClose(*this);
  }
}

void TClientDataSet::Loaded() {
  FLoading = false;
  if (FStreamedActive) SetActive(true);
}

void TClientDataSet::OpenStep() {
  FProviderEOF = true;
  FSavePacketOnClose = false;
  if (!FDSBase) {
    Variant packet = FSavedPacket;
    if (packet.is_empty()) {
      std::int32_t recs_out = 0;
      const Variant result =
          FetchFromProvider(PacketRecords, recs_out, grMetaData, CommandText, PackageParams(Params));
      packet = VarToDataPacket(result);
      FProviderEOF = recs_out != PacketRecords;
    }
    if (packet.is_empty()) {
      throw EDatabaseError(Name.empty() ? UString(kMissingProvider)
                                        : Name + u": " + kMissingProvider);
    }
    FDSBase = std::make_unique<DataStore>();
    Check(FDSBase->SetProperty(DataStore::Property::Utf8Text, true));
    Check(FDSBase->SetProperty(DataStore::Property::Utf8ErrorText, true));
    Check(FDSBase->AppendPacket(packet, FProviderEOF));
  }
  ReadDSOptions();
  FFieldDefs = BuildFieldDefs(FDSBase->Table());
  FSavedPacket = Variant();
  FSavePacketOnClose = true;
}

void TClientDataSet::ReadDSOptions() {
  FDSOptions.Clear();
  const std::pair<const char16_t*, TDSOption> options[] = {
      {u"DISABLE_EDITS", doDisableEdits},
      {u"DISABLE_INSERTS", doDisableInserts},
      {u"DISABLE_DELETES", doDisableDeletes},
      {u"NO_RESET_CALL", doNoResetCall},
  };
  for (const auto& [name, option] : options) {
    const Variant value = GetOptionalParam(name);
    if (value.type() == varBoolean && value.as_bool()) FDSOptions.Include(option);
  }
}

// A failed reset call is reported only after the provider reference and the
// data store are gone, so that a closed dataset never keeps either.
void TClientDataSet::CloseStep() {
  FFieldDefs.clear();
  std::exception_ptr reset_failure;
  if (FAppServer && !FDestroying) {
    if (!FDSOptions.Contains(doNoResetCall)) {
      try {
        std::int32_t recs_out = 0;
        FetchFromProvider(0, recs_out, grReset, u"", Variant());
      } catch (...) {
        reset_failure = std::current_exception();
      }
    }
    FAppServer.reset();
  }
  if (!FAppServer && FSavePacketOnClose && FProviderName.empty() && FDSBase) {
    FSavedPacket = FDSBase->SavePacket();
  }
  FDSBase.reset();
  FDSOptions.Clear();
  if (reset_failure) std::rethrow_exception(reset_failure);
}

Variant TClientDataSet::FetchFromProvider(std::int32_t Count, std::int32_t& RecsOut,
                                          std::int32_t Options, const UString& Command,
                                          Variant ProviderParams) {
  Variant OwnerData;
  if (BeforeGetRecords) BeforeGetRecords(*this, OwnerData);
  if (ProviderParams.is_empty() && !Params.empty()) ProviderParams = PackageParams(Params);
  const std::shared_ptr<IAppServer> server = AppServer();
  Variant result;
  RecsOut = 0;
  CheckAppServerStatus(server->AS_GetRecords(FProviderName, Count, RecsOut, Options, Command,
                                             ProviderParams, OwnerData, result));
  UnpackParams(ProviderParams, Params);
  if (AfterGetRecords) AfterGetRecords(*this, OwnerData);
  return result;
}

std::shared_ptr<IAppServer> TClientDataSet::AppServer() {
  if (!FAppServer && !FProviderName.empty() && FRemoteServer) {
    FAppServer = FRemoteServer->GetServer();
  }
  if (!FAppServer) {
    throw EDatabaseError(Name.empty() ? UString(kMissingProvider) : Name + u": " + kMissingProvider);
  }
  return FAppServer;
}

// Checked before anything changes, so that a refused change leaves the
// dataset registered with the server it refers to.
void TClientDataSet::SetRemoteServer(TCustomRemoteServer* Value) {
  if (Value == FRemoteServer) return;
  if (Value && Active()) throw EDatabaseError(kDataSetOpen);
  FAppServer.reset();
  if (FRemoteServer) {
    FRemoteServer->UnRegisterClient(this);
    FRemoteServer->RemoveFreeNotification(this);
  }
  FRemoteServer = Value;
  if (Value) {
    Value->RegisterClient(this);
    FSavedPacket = Variant();
    Value->FreeNotification(this);
  }
}

void TClientDataSet::SetProviderName(const UString& Value) {
  if (Value == FProviderName) return;
  if (!Value.empty()) {
    if (Active()) throw EDatabaseError(kDataSetOpen);
    FSavedPacket = Variant();
  }
  FAppServer.reset();
  FProviderName = Value;
}

void TClientDataSet::DataEvent(TDataEvent Event, std::intptr_t Info) {
  if (Event == deConnectChange && Info == 0) FAppServer.reset();
}

void TClientDataSet::Notification(TCustomRemoteServer* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent != nullptr && AComponent == FRemoteServer) {
    SetRemoteServer(nullptr);
  }
}

Variant TClientDataSet::GetOptionalParam(const UString& ParamName) const {
  if (!FDSBase) throw EDatabaseError(kDataSetClosed);
  const PacketOption* option = FDSBase->GetOption(to_utf8(ParamName));
  return option ? OptionToVariant(*option) : Variant();
}

void TClientDataSet::Check(std::int32_t Status) const {
  if ((static_cast<std::uint32_t>(Status) & 0xFFFFu) == 0) return;
  std::string text;
  if (FDSBase) FDSBase->GetErrorText(Status, text);
  throw EDBClient(from_utf8(text), Status);
}

}  // namespace wardenix
