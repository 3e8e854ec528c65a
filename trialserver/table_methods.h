#pragma once
// The two remote methods that take a dataset as a table parameter:
// TdtmPrincipal.sqlAuxAfterClose and TdtmPrincipal.sqlAuxBeforeOpen, each
// with one input parameter "DataSet" of type TABLE and no result. Both read
// the whole table (every block, every long value in full) and answer with
// the reply row (the input echoed as null) and a rows-affected count:
//   sqlAuxAfterClose: the number of rows received;
//   sqlAuxBeforeOpen: the number of values received that were not null.
// An execution without the table, or with a table that cannot be read, is
// answered with an error object.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "runtime/ustring.h"
#include "trialserver/input_table.h"
#include "trialserver/reply_writer.h"
#include "wire/message_writer.h"

namespace wardenix::trial {

enum class TableMethod { AfterClose, BeforeOpen };

std::optional<TableMethod> FindTableMethod(UStringView type, UStringView text);
std::vector<ParameterSpec> TableMethodParameters(TableMethod method);
// The rows-affected count the method answers for what it read.
std::int64_t TableMethodRowsAffected(TableMethod method, const InputTableTotals& totals);

// {"result":[{"handle":[H]},{"rows":[n]},{"data":[count,row]}]}
void WriteTableMethodReply(TDBXJSonStreamWriter& writer, std::int32_t command_handle,
                           std::int64_t rows_affected, std::span<const std::uint8_t> row);

}  // namespace wardenix::trial
