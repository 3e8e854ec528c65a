#pragma once
// A table the client sends as a parameter of an execution, on the server's
// side. The execute request carries its description and its first block of
// rows; the server asks for each further block with a "next" request and
// for the rest of a long value with "more_blob", naming the table by the
// row handle the client gave it.
#include <cstdint>
#include <vector>

#include "dbx/dbx_context.h"
#include "runtime/ustring.h"
#include "wire/blob_reader.h"
#include "wire/message_reader.h"
#include "wire/message_writer.h"
#include "wire/row_buffer.h"

namespace wardenix::trial {

struct InputColumn {
  UString name;
  std::int32_t data_type = 0;
  std::int32_t sub_type = 0;
};

// What reading a whole table found.
struct InputTableTotals {
  std::int64_t rows = 0;
  std::int64_t values = 0;  // values that were not null
};

class InputTable {
 public:
  // Reads the value of a "table" member, from its "[" to the "}" of its
  // object, and the "data" object directly after it. A malformed table
  // raises TDBXError 2.
  InputTable(TDBXJSonStreamReader& reader, std::int32_t buffer_size, const TDBXContext& context);

  std::int32_t RowHandle() const { return row_handle_; }
  const std::vector<InputColumn>& Columns() const { return columns_; }

  // Reads every row, every value in full: a block used up that was not the
  // last is followed by a "next" request, a value that did not fit its row
  // by more_blob requests through `pull`.
  InputTableTotals ReadAll(TDBXJSonStreamReader& reader, TDBXJSonStreamWriter& writer,
                           std::int32_t command_handle, BlobRequest pull);

 private:
  void ReadBlock(TDBXJSonStreamReader& reader);
  void ReadValue(std::int32_t ordinal, InputTableTotals& totals);

  std::int32_t row_handle_ = 0;
  std::vector<InputColumn> columns_;
  TDBXRowBuffer rows_;
  bool last_block_ = true;
};

}  // namespace wardenix::trial
