#pragma once
// TDBXRowBuffer: the binary row of a "data" block, one encoded value per
// parameter or column in ordinal order, each led by a header byte that says
// its kind and size. The same buffer is written (values of one execution)
// and read (the server's reply row, or a block of table rows).
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dbx/dbx_context.h"
#include "dbx/sql_timestamp.h"
#include "runtime/byte_source.h"
#include "runtime/reply_limit.h"
#include "runtime/ustring.h"
#include "wire/blob_reader.h"

namespace wardenix {

class TDBXJSonStreamReader;

class TDBXRowBuffer {
 public:
  static constexpr std::size_t kInlineLimit = 1024;

  // `writer_buffer_size` is the connection's message buffer size: the row
  // keeps that less 2048 bytes (when at least 2048 remain) as its minimum.
  TDBXRowBuffer(std::int32_t writer_buffer_size, bool client, bool parameter_buffer);

  std::size_t MinimumSize() const { return min_size_; }
  bool IsClient() const { return client_; }
  bool IsParameterBuffer() const { return parameter_buffer_; }
  std::size_t Capacity() const { return buffer_.size(); }
  std::size_t Offset() const { return offset_; }
  // The values written since the last reset.
  std::span<const std::uint8_t> Written() const { return std::span(buffer_).first(offset_); }
  // Post and Cancel: back to offset 0.
  void Reset() { offset_ = 0; }

  // Errors of malformed rows go through this context when it is set.
  void SetContext(const TDBXContext* context) { context_ = context; }
  // The largest received block and value (kReplyLimit unless set).
  void SetReplyLimit(std::uint64_t limit) { reply_limit_ = limit; }

  // ---- writing, one value per call in ordinal order
  void WriteNull();
  void WriteBoolean(bool value);
  void WriteInt32(std::int32_t value);
  void WriteInt64(std::int64_t value);
  void WriteDouble(double value);
  void WriteSingle(float value);
  void WriteDate(int year, int month, int day);
  void WriteTime(std::int32_t milliseconds_since_midnight);
  // A local time, sent as UTC by the machine's time-zone rules.
  void WriteTimestamp(const TSQLTimeStamp& local);
  // Writes what fits inline; returns the rest when the text did not fit
  // (the server pulls it later), null when it did.
  std::unique_ptr<ByteSource> WriteString(UStringView text);
  // BCD values travel as their decimal text.
  std::unique_ptr<ByteSource> WriteBcd(UStringView decimal_text) { return WriteString(decimal_text); }
  // Takes what fits inline from `source`; returns the bytes placed. A source
  // left unfinished is pulled later by the server.
  std::size_t WriteBytes(ByteSource& source);
  void WriteJson(std::string_view json_text);
  void WriteCallback(bool assigned);

  // ---- reading
  // The received block; the cursor goes to ordinal 0 of the first row. A
  // block larger than the buffer replaces it with one of exactly its size.
  void LoadRow(std::span<const std::uint8_t> bytes);
  // The same, read from a "data" block; a count above the reply limit is
  // refused before any of its bytes is read.
  void LoadRow(TDBXJSonStreamReader& reader, std::uint64_t count);
  std::size_t ReadSize() const { return read_size_; }
  void SetColumnCount(std::int32_t count) { column_count_ = count; }

  // Moves the cursor to `ordinal` of the current row, from the row's start
  // when the ordinal lies behind it.
  void GoToField(std::int32_t ordinal);
  bool GetNull(std::int32_t ordinal);
  bool ReadBoolean(std::int32_t ordinal);
  std::int32_t ReadInt32(std::int32_t ordinal);
  std::int64_t ReadInt64(std::int32_t ordinal);
  double ReadDouble(std::int32_t ordinal);
  float ReadSingle(std::int32_t ordinal);
  // Year, month and day.
  void ReadDate(std::int32_t ordinal, int& year, int& month, int& day);
  std::int32_t ReadTime(std::int32_t ordinal);
  TSQLTimeStamp ReadTimestamp(std::int32_t ordinal);
  // Text of string and BCD values; a value that did not fit its row is
  // completed through the blob request.
  UString ReadString(std::int32_t ordinal);
  // A BCD value in binary form: scale byte and magnitude bytes.
  UString ReadBcdBinary(std::int32_t ordinal);
  // The bytes of a byte or stream value: in memory when they came whole,
  // else a blob reader. A blob reference whose size is above the reply
  // limit is refused before its bytes are asked for.
  std::unique_ptr<ByteSource> ReadBytes(std::int32_t ordinal);
  // Null for a null value.
  std::optional<std::string> ReadJson(std::int32_t ordinal);

  // Tables: steps over the rest of the row and on to the next one; false
  // when the block has no more bytes.
  bool NextRow();
  std::int64_t RowNumber() const { return row_number_; }

  // ---- what blob readers made from this row need
  void SetCommandHandle(std::int32_t handle) { command_handle_ = handle; }
  std::int32_t CommandHandle() const { return command_handle_; }
  void SetRowHandle(std::int32_t handle) { row_handle_ = handle; }
  void SetBlobRequest(BlobRequest request) { blob_request_ = std::move(request); }
  // The command was closed or executed again: its blob readers refuse to
  // read from now on.
  void InvalidateBlobs();

 private:
  struct Located;  // where a string or byte value's data is

  void Grow(std::size_t needed);
  std::size_t InlineCapacity() const;
  void PutInteger(std::uint64_t magnitude, bool negative);
  void PutFloat(std::uint64_t bits, int width);
  std::size_t ValueSize(std::size_t at) const;
  void Need(std::size_t at, std::uint64_t size) const;
  // The current value's header, with its whole size checked; moves past it.
  std::uint8_t Enter(std::int32_t ordinal, std::size_t& at, std::size_t& size);
  std::uint64_t ReadMagnitude(std::size_t at, std::size_t n) const;
  std::int64_t DecodeInteger(std::size_t at, int width);
  Located Locate(std::int32_t ordinal);
  std::unique_ptr<TDBXRowBlobStreamReader> MakeBlobReader(const Located& value, std::int32_t ordinal);
  [[noreturn]] void Fail(std::int32_t code, UString message) const;

  std::vector<std::uint8_t> buffer_;
  std::size_t min_size_;
  std::size_t offset_ = 0;
  bool client_;
  bool parameter_buffer_;
  const TDBXContext* context_ = nullptr;
  std::uint64_t reply_limit_ = kReplyLimit;

  // Reading cursor.
  std::size_t read_size_ = 0;
  std::size_t read_at_ = 0;
  std::size_t row_start_ = 0;
  std::int32_t ordinal_ = 0;
  std::int32_t column_count_ = 0;
  std::int64_t row_number_ = 0;

  std::int32_t command_handle_ = -1;
  std::int32_t row_handle_ = 0;
  std::int32_t blob_counter_ = 0;
  BlobRequest blob_request_;
  std::shared_ptr<BlobGeneration> generation_ = std::make_shared<BlobGeneration>();
};

}  // namespace wardenix
