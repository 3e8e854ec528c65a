#include "trialserver/method_list.h"

#include "trialserver/catalogue_methods.h"
#include "trialserver/server_methods.h"
#include "wire/row_buffer.h"

namespace wardenix::trial {
namespace {

constexpr std::int32_t kTableType = 23;
constexpr std::int32_t kReturn = 4;

constexpr const char16_t* kProviderOperations[] = {
    u"TdmPrincipal.AS_ApplyUpdates", u"TdmPrincipal.AS_GetRecords",
    u"TdmPrincipal.AS_DataRequest",  u"TdmPrincipal.AS_GetProviderNames",
    u"TdmPrincipal.AS_GetParams",    u"TdmPrincipal.AS_RowRequest",
    u"TdmPrincipal.AS_Execute"};

}  // namespace

std::vector<UString> ServedMethodNames() {
  std::vector<UString> names;
  for (const CatalogueMethod& method : Catalogue()) names.push_back(QualifiedName(method));
  for (const char16_t* operation : kProviderOperations) names.emplace_back(operation);
  names.emplace_back(kMethodListCommand);
  return names;
}

std::vector<ParameterSpec> MethodListParameters() {
  return {{kTableType, 0, kReturn, 0, 0, u"ReturnParameter", 0, 0}};
}

std::vector<TableColumn> MethodListColumns() {
  return {{u"MethodAlias", dbx_type::kWideString, 0, 255, 0, 512, 0}};
}

std::vector<std::uint8_t> MethodListRows(std::int32_t buffer_size) {
  TDBXRowBuffer rows(buffer_size, false, false);
  for (const UString& name : ServedMethodNames()) rows.WriteString(name);
  return {rows.Written().begin(), rows.Written().end()};
}

}  // namespace wardenix::trial
