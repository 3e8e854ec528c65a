#pragma once
// The client dataset: an in-memory table loaded from a data packet, given
// directly through SetData or fetched from a remote provider through the
// provider interface. It owns its data store between an open and a close.
//
// Threads: everything runs on the thread that owns the dataset, except
// Active(), which any thread may read at any time.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "dataset/app_server.h"
#include "dataset/data_store.h"
#include "dataset/field_defs.h"
#include "dataset/provider_params.h"
#include "dataset/remote_server.h"
#include "runtime/ustring.h"
#include "runtime/variant.h"

namespace wardenix {

enum TDataSetState { dsInactive, dsBrowse, dsOpening };

enum TDSOption : std::uint8_t { doDisableInserts, doDisableDeletes, doDisableEdits, doNoResetCall };

class TDSOptions {
 public:
  bool Contains(TDSOption option) const { return (bits_ & bit(option)) != 0; }
  void Include(TDSOption option) { bits_ = static_cast<std::uint8_t>(bits_ | bit(option)); }
  void Clear() { bits_ = 0; }

 private:
  static std::uint8_t bit(TDSOption option) { return static_cast<std::uint8_t>(1u << option); }
  std::uint8_t bits_ = 0;
};

class TClientDataSet : public IRemoteServerClient {
 public:
  using TDataSetNotifyEvent = std::function<void(TClientDataSet&)>;
  using TRemoteEvent = std::function<void(TClientDataSet&, Variant& OwnerData)>;

  explicit TClientDataSet(UString Name = {});
  TClientDataSet(const TClientDataSet&) = delete;
  TClientDataSet& operator=(const TClientDataSet&) = delete;
  virtual ~TClientDataSet();

  UString Name;

  // Closes, then loads `Value` as a data packet and opens; Null only closes.
  void SetData(const Variant& Value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  void SetActive(bool Value);
  // True when open; readable from any thread.
  bool Active() const { return FActive.load(std::memory_order_acquire); }
  TDataSetState State() const { return FState; }

  TCustomRemoteServer* RemoteServer() const { return FRemoteServer; }
  void SetRemoteServer(TCustomRemoteServer* Value);
  const UString& ProviderName() const { return FProviderName; }
  void SetProviderName(const UString& Value);
  // The provider interface, acquired from the remote server on first use.
  std::shared_ptr<IAppServer> AppServer();
  bool HasAppServer() const { return FAppServer != nullptr; }

  void DataEvent(TDataEvent Event, std::intptr_t Info) override;
  void Notification(TCustomRemoteServer* AComponent, TOperation Operation) override;

  // A named option of the loaded packet; unassigned when absent.
  Variant GetOptionalParam(const UString& ParamName) const;

  // While the component is read from its stored form, Active is only noted
  // and applied by Loaded.
  void BeginLoading() { FLoading = true; }
  void Loaded();

  TDSOptions DSOptions() const { return FDSOptions; }
  const std::vector<TFieldDef>& FieldDefs() const { return FFieldDefs; }
  // The data store while open, for reading the rows back; null otherwise.
  const DataStore* DSBase() const { return FDSBase.get(); }
  bool HasSavedPacket() const { return !FSavedPacket.is_empty(); }

  std::int32_t PacketRecords = -1;
  UString CommandText;
  TParams Params;
  bool FetchOnDemand = true;

  TDataSetNotifyEvent BeforeOpen;
  TDataSetNotifyEvent AfterOpen;
  TDataSetNotifyEvent BeforeClose;
  TDataSetNotifyEvent AfterClose;
  TRemoteEvent BeforeGetRecords;
  TRemoteEvent AfterGetRecords;

 private:
  void SetState(TDataSetState Value);
  void OpenStep();
  void CloseStep();
  Variant FetchFromProvider(std::int32_t Count, std::int32_t& RecsOut, std::int32_t Options,
                            const UString& Command, Variant ProviderParams);
  void Check(std::int32_t Status) const;
  void ReadDSOptions();

  TDataSetState FState = dsInactive;
  std::atomic<bool> FActive{false};
  Variant FSavedPacket;  // unassigned: none
  bool FSavePacketOnClose = false;
  UString FProviderName = u"";
  TCustomRemoteServer* FRemoteServer = nullptr;
  std::shared_ptr<IAppServer> FAppServer;
  bool FProviderEOF = true;
  std::unique_ptr<DataStore> FDSBase;
  TDSOptions FDSOptions;
  std::vector<TFieldDef> FFieldDefs;
  bool FLoading = false;
  bool FStreamedActive = false;
  bool FDestroying = false;
};

// The packet check: Null gives unassigned (no packet); an array whose first
// upper bound is above 20 is the packet; anything else raises
// EDatabaseError "Invalid data packet".
Variant VarToDataPacket(const Variant& Value);

}  // namespace wardenix
