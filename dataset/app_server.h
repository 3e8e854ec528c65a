#pragma once
// The provider interface: the seven operations a client dataset calls on a
// remote provider, by provider name. An operation never raises across the
// interface; it reports failure as a negative status with an error text,
// which the caller turns into EOleException.
#include <cstdint>

#include "runtime/errors.h"
#include "runtime/ustring.h"
#include "runtime/variant.h"

namespace wardenix {

// Options of AS_GetRecords.
inline constexpr std::int32_t grMetaData = 1;  // include the column descriptors
inline constexpr std::int32_t grReset = 2;     // reset the provider's cursor

// The status a provider reports for a failure it has no status of its own for.
inline constexpr std::int32_t kProviderUnexpected = static_cast<std::int32_t>(0x8000FFFFu);

struct AppServerStatus {
  std::int32_t Status = 0;  // negative: the operation failed
  UString ErrorText;

  bool Failed() const { return Status < 0; }
  static AppServerStatus Success() { return {}; }
  static AppServerStatus Failure(std::int32_t status, UString text) { return {status, std::move(text)}; }
};

// Raises EOleException with the error text and the status for a failure.
inline void CheckAppServerStatus(const AppServerStatus& status) {
  if (status.Failed()) throw EOleException(status.ErrorText, status.Status);
}

// Arguments passed by reference are in-out: the provider may replace them.
// Results come back in `Result`.
class IAppServer : public IInterface {
 public:
  virtual AppServerStatus AS_ApplyUpdates(const UString& ProviderName, const Variant& Delta,
                                          std::int32_t MaxErrors, std::int32_t& ErrorCount,
                                          Variant& OwnerData, Variant& Result) = 0;
  virtual AppServerStatus AS_GetRecords(const UString& ProviderName, std::int32_t Count,
                                        std::int32_t& RecsOut, std::int32_t Options,
                                        const UString& CommandText, Variant& Params,
                                        Variant& OwnerData, Variant& Result) = 0;
  virtual AppServerStatus AS_DataRequest(const UString& ProviderName, const Variant& Data,
                                         Variant& Result) = 0;
  virtual AppServerStatus AS_GetProviderNames(Variant& Result) = 0;
  virtual AppServerStatus AS_GetParams(const UString& ProviderName, Variant& OwnerData,
                                       Variant& Result) = 0;
  virtual AppServerStatus AS_RowRequest(const UString& ProviderName, const Variant& Row,
                                        std::int32_t RequestType, Variant& OwnerData,
                                        Variant& Result) = 0;
  virtual AppServerStatus AS_Execute(const UString& ProviderName, const UString& CommandText,
                                     Variant& Params, Variant& OwnerData) = 0;
};

}  // namespace wardenix
