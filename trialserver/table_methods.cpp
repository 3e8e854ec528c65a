#include "trialserver/table_methods.h"

#include "trialserver/server_methods.h"
#include "wire/message_fragments.h"

namespace wardenix::trial {
namespace {

constexpr std::int32_t kTableType = 23;

}  // namespace

std::optional<TableMethod> FindTableMethod(UStringView type, UStringView text) {
  if (type != kServerMethodType) return std::nullopt;
  if (text == u"TdtmPrincipal.sqlAuxAfterClose") return TableMethod::AfterClose;
  if (text == u"TdtmPrincipal.sqlAuxBeforeOpen") return TableMethod::BeforeOpen;
  return std::nullopt;
}

std::vector<ParameterSpec> TableMethodParameters(TableMethod) {
  ParameterSpec dataset;
  dataset.data_type = kTableType;
  dataset.direction = 1;
  dataset.name = u"DataSet";
  return {dataset};
}

std::int64_t TableMethodRowsAffected(TableMethod method, const InputTableTotals& totals) {
  return method == TableMethod::AfterClose ? totals.rows : totals.values;
}

void WriteTableMethodReply(TDBXJSonStreamWriter& writer, std::int32_t command_handle,
                           std::int64_t rows_affected, std::span<const std::uint8_t> row) {
  writer.WriteFragment(fragment::kResultObject);
  writer.WriteFragment(fragment::kHandleObject);
  writer.WriteInt(command_handle);
  writer.WriteArrayEnd();
  writer.WriteObjectEnd();
  writer.WriteValueSeparator();
  writer.WriteFragment(fragment::kRowsObject);
  writer.WriteLong(rows_affected);
  writer.WriteArrayEnd();
  writer.WriteObjectEnd();
  writer.WriteValueSeparator();
  writer.WriteDataBlock(row);
  writer.WriteArrayEnd();
  writer.WriteObjectEnd();
  writer.Flush();
}

}  // namespace wardenix::trial
