#pragma once
// TDBXClientParameterRow: a command's parameter values on the wire. Before
// an execution the values are written into the row in ordinal order; the
// server's reply row replaces them, and the values read their results from
// it. Texts and streams too large for the row keep their rest here until the
// server pulls it. Input tables are written as their reference number and
// listed for the execution to send; tables of the reply are attached to
// their parameters here.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "datasnap/writable_row_buffer_row.h"
#include "dbx/reader.h"
#include "wire/row_buffer.h"

namespace wardenix {

class TDBXClientParameterRow final : public TDBXWritableRowBufferRow {
 public:
  // `writer_buffer_size` sizes the row; `types_changed` is called when a
  // parameter's value object is rebuilt after a type change.
  TDBXClientParameterRow(std::int32_t writer_buffer_size, std::function<void()> types_changed);
  // The blob readers made from the row refuse to read from now on.
  ~TDBXClientParameterRow() override;

  // UTF-16 text values for wide strings and wide memos, 8-bit text values
  // for strings and memos.
  std::unique_ptr<TDBXValue> CreateCustomValue(TDBXValueType& type) override;
  void ParameterTypeChanged() override;

  // Drops the previous content, the rests of the previous values, the input
  // tables listed and the tables attached by the previous reply; makes the
  // blob readers of earlier replies refuse to read, and takes the command's
  // current handle.
  void Reset(std::int32_t command_handle);
  // The values written since Reset.
  std::span<const std::uint8_t> Written() const { return buffer_.Written(); }
  // After sending: until a reply row arrives, the row reads as it was sent.
  void KeepSentValues();
  void LoadReply(TDBXJSonStreamReader& reader, std::uint64_t count);
  void SetCommandHandle(std::int32_t handle) { buffer_.SetCommandHandle(handle); }
  void SetBlobRequest(BlobRequest request) { buffer_.SetBlobRequest(std::move(request)); }
  void SetContext(const TDBXContext* context) { buffer_.SetContext(context); }
  void SetReplyLimit(std::uint64_t limit) { buffer_.SetReplyLimit(limit); }

  // The readers of the input and input/output table parameters written since
  // Reset, in ordinal order: the k-th is sent with row handle k.
  const std::vector<TDBXReader*>& InputTables() const { return input_tables_; }
  // A table of the reply for the parameter at `ordinal`; owned by the row
  // until the next Reset.
  void AttachTable(std::int32_t ordinal, std::unique_ptr<TDBXReader> table);

  bool IsNull(const TDBXValueType& type) override;
  TDBXReader* GetReader(const TDBXValueType& type) override;
  // Input and input/output tables: their reference number, the row handle
  // they are sent with; tables in other directions are sent as null.
  void SetReader(const TDBXValueType& type, TDBXReader& reader) override;

 private:
  TDBXRowBuffer buffer_;
  std::function<void()> types_changed_;
  std::vector<TDBXReader*> input_tables_;
  std::map<std::int32_t, std::unique_ptr<TDBXReader>> attached_;
};

}  // namespace wardenix
