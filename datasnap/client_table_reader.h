#pragma once
// TDBXClientTableReader: a table the server sends in reply to an execution.
// Its rows come in "data" blocks; when a block is used up and was not the
// last, the reader asks the server for the next with a "next" request.
// Closing it tells the server with the next request that leaves.
#include <cstdint>
#include <memory>
#include <vector>

#include "datasnap/client_handlers.h"
#include "datasnap/row_buffer_row.h"
#include "dbx/reader.h"
#include "wire/row_buffer.h"

namespace wardenix {

// A table's description as the "table" member of a reply gives it.
struct TDBXWireTable {
  std::int32_t command_handle = -1;
  bool updateable = false;
  std::int32_t row_handle = 0;
  std::int32_t bcd_format = 1;
  std::vector<TDBXWireValueType> columns;
};

// The value of a "table" member, from its "[" to the "}" of its object.
TDBXWireTable ReadTableMetadata(TDBXJSonStreamReader& reader);

class TDBXClientTableReader final : public TDBXReader {
 public:
  TDBXClientTableReader(std::shared_ptr<TDBXJSonClientOutputConnectionHandler> wire,
                        TDBXWireTable table, const TDBXContext* context);
  // Writes reader_close, unflushed, while the connection is open.
  ~TDBXClientTableReader() override;

  // The next block of rows, the rest of a "data" object after its name,
  // read straight into the row buffer. A block whose count is zero or less
  // is the last.
  void ReadBlock(TDBXJSonClientInputConnectionHandler& input);

  std::int32_t ColumnCount() const override { return static_cast<std::int32_t>(columns_.size()); }
  TDBXValueType& ValueType(std::int32_t ordinal) override;
  TDBXValue& Value(std::int32_t ordinal) override;
  bool Next() override;

  std::int32_t RowHandle() const { return table_.row_handle; }

 private:
  bool FetchNextBlock();

  std::shared_ptr<TDBXJSonClientOutputConnectionHandler> wire_;
  TDBXWireTable table_;
  TDBXRowBuffer buffer_;
  TDBXRowBufferRow row_;
  std::vector<std::unique_ptr<TDBXValueType>> columns_;
  std::vector<std::unique_ptr<TDBXValue>> values_;
  bool started_ = false;
  bool last_block_ = true;
};

}  // namespace wardenix
