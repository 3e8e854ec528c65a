#pragma once
// The seven provider operations of the server class TdmPrincipal, answered
// by simple rules. There is one provider, "dspAux"; any other provider name
// is answered with an error object. Every input and input/output argument
// not named below comes back as the client sent it.
//
//   AS_GetRecords        grReset in Options: the result is Null and RecsOut 0.
//                        Otherwise the GR_VERSAO packet with Count rows (all
//                        for a negative Count) and RecsOut its row count.
//   AS_ApplyUpdates      applies nothing and finds no error: ErrorCount 0,
//                        result Null.
//   AS_DataRequest       the result is Data.
//   AS_GetProviderNames  "dspAux". The client's name of the method ends in a
//                        colon; the server takes it with or without.
//   AS_GetParams         dspAux has no parameters: the result is Null.
//   AS_RowRequest        the result is Row.
//   AS_Execute           executes nothing; no result.
//
// Parameters: texts are wide strings, counts, options and request types
// 32-bit integers, everything else a variant stream; the result, where there
// is one, is the last parameter.
#include <optional>
#include <vector>

#include "runtime/ustring.h"
#include "trialserver/server_methods.h"

namespace wardenix::trial {

// The operation that the command text "TdmPrincipal.AS_..." names.
std::optional<CommandKind> FindProviderMethod(UStringView text);
bool IsProviderMethod(CommandKind kind);
std::vector<ParameterSpec> ProviderMethodParameters(CommandKind kind);
// Also writes the call's line to the call log.
MethodResult RunProviderMethod(const MethodCall& call);

}  // namespace wardenix::trial
