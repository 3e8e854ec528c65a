#pragma once
// TDBXClientInputTable: a table parameter the client sends to the server.
// The execute request carries its description and its first block of rows;
// the server asks for each further block with a "next" request, and for the
// rest of a long value of the block's last row with "more_blob". A block
// holds whole rows, as many as fit the row buffer's minimum size, and ends
// after a row that left a value unfinished, so that the server's "current
// row" is always the one whose rests are kept.
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "datasnap/writable_row_buffer_row.h"
#include "dbx/reader.h"
#include "wire/message_writer.h"
#include "wire/row_buffer.h"

namespace wardenix {

class TDBXClientInputTable {
 public:
  // Reads `reader` (borrowed) from its current position on.
  TDBXClientInputTable(TDBXReader& reader, std::int32_t row_handle, std::int32_t command_handle,
                       std::int32_t writer_buffer_size);

  std::int32_t RowHandle() const { return row_handle_; }

  // {"table":[{"fields":[...]},{"columns":[...]}]} directly followed by the
  // first block of rows; not flushed. A row that cannot be encoded raises
  // TDBXError 30 with the failure's message.
  void WriteTable(TDBXJSonStreamWriter& writer);
  // The next block, flushed: the answer to the server's "next".
  void WriteNextBlock(TDBXJSonStreamWriter& writer);
  // The rest of the value at `ordinal` of the last row sent, or null.
  ByteSource* Remainder(std::int32_t ordinal);

 private:
  // Encodes the reader's next row as the pending row; false past the last.
  bool EncodePendingRow();
  void WriteBlock(TDBXJSonStreamWriter& writer);

  TDBXReader& reader_;
  std::int32_t row_handle_;
  std::int32_t command_handle_;
  TDBXRowBuffer buffer_;
  TDBXWritableRowBufferRow row_;
  // A row encoded but not sent yet (the look-ahead that tells whether a
  // block is the last), with the rests of its values.
  bool pending_ = false;
  bool exhausted_ = false;
  std::vector<std::uint8_t> pending_bytes_;
  std::map<std::int32_t, std::unique_ptr<ByteSource>> pending_rests_;
  // The rests of the last row sent.
  std::map<std::int32_t, std::unique_ptr<ByteSource>> sent_rests_;
};

}  // namespace wardenix
