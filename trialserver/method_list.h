#pragma once
// The method list: the server method "DSAdmin.GetServerMethods" answers a
// table with one row per method the server serves, its qualified name in
// the column "MethodAlias": the 49 methods of TdtmPrincipal in catalogue
// order, the seven provider operations of TdmPrincipal, then the list itself.
// It is described with one parameter, a table as its return value.
#include <cstdint>
#include <vector>

#include "runtime/ustring.h"
#include "trialserver/reply_writer.h"

namespace wardenix::trial {

inline constexpr char16_t kMethodListCommand[] = u"DSAdmin.GetServerMethods";

std::vector<UString> ServedMethodNames();

std::vector<ParameterSpec> MethodListParameters();
std::vector<TableColumn> MethodListColumns();
// Every row, one value each.
std::vector<std::uint8_t> MethodListRows(std::int32_t buffer_size);

}  // namespace wardenix::trial
