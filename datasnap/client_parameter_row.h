#pragma once
// TDBXClientParameterRow: a command's parameter values on the wire. Before
// an execution the values are written into the row in ordinal order; the
// server's reply row replaces them, and the values read their results from
// it. Texts and streams too large for the row keep their rest here until the
// server pulls it.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "datasnap/row_buffer.h"
#include "datasnap/row_buffer_row.h"

namespace wardenix {

class TDBXClientParameterRow final : public TDBXRowBufferRow {
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

  // Drops the previous content and the rests of the previous values, makes
  // the blob readers of earlier replies refuse to read, and takes the
  // command's current handle.
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
  // The rest of the value at `ordinal` that did not fit the row, or null.
  ByteSource* Remainder(std::int32_t ordinal);

  void SetNull(const TDBXValueType& type) override;
  void SetBoolean(const TDBXValueType& type, bool value) override;
  void SetInt32(const TDBXValueType& type, std::int32_t value) override;
  void SetInt64(const TDBXValueType& type, std::int64_t value) override;
  void SetDouble(const TDBXValueType& type, double value) override;
  void SetSingle(const TDBXValueType& type, float value) override;
  void SetDate(const TDBXValueType& type, int year, int month, int day) override;
  void SetTime(const TDBXValueType& type, std::int32_t milliseconds) override;
  void SetTimeStamp(const TDBXValueType& type, const TSQLTimeStamp& value) override;
  void SetString(const TDBXValueType& type, UStringView value) override;
  void SetBcd(const TDBXValueType& type, UStringView decimal_text) override;
  void SetStream(const TDBXValueType& type, std::span<const std::uint8_t> bytes) override;
  // Tables sent to the server are not supported: TDBXError 27.
  void SetReader(const TDBXValueType& type, TDBXReader& reader) override;

 private:
  TDBXRowBuffer buffer_;
  std::function<void()> types_changed_;
  std::map<std::int32_t, std::unique_ptr<ByteSource>> remainders_;
};

}  // namespace wardenix
