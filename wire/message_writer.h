#pragma once
// TDBXJSonStreamWriter: assembles messages in a fixed buffer and hands them
// to the channel. Nothing leaves before Flush or before the buffer is full;
// a full buffer leaves whole when the next byte needs its room.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "runtime/byte_source.h"
#include "runtime/ustring.h"
#include "wire/channel.h"

namespace wardenix {

class TDBXJSonStreamWriter {
 public:
  // A size of 0 or less means 8192 bytes.
  TDBXJSonStreamWriter(TDbxChannel& channel, std::int32_t buffer_size);

  std::size_t BufferSize() const { return buffer_.size(); }
  // Bytes waiting in the buffer.
  std::size_t Pending() const { return used_; }

  void WriteObjectStart() { Put('{'); }
  void WriteObjectEnd() { Put('}'); }
  void WriteArrayStart() { Put('['); }
  void WriteArrayEnd() { Put(']'); }
  void WriteValueSeparator() { Put(','); }
  void WriteNameSeparator() { Put(':'); }
  void WriteSpace() { Put(' '); }
  void WriteInt(std::int32_t value) { WriteLong(value); }
  void WriteLong(std::int64_t value);
  void WriteBoolean(bool value);
  void WriteNull();
  // Quoted; code units 32 to 255 as single bytes, the rest escaped.
  void WriteString(UStringView text);
  void WriteNamedString(UStringView name, UStringView value);
  // Floating-point values never appear as JSON numbers: nothing is written.
  void WriteDouble(double) {}
  // A fixed ASCII fragment (see message_fragments.h).
  void WriteFragment(std::string_view ascii);
  void WriteBytes(std::span<const std::uint8_t> bytes);

  // {"data":[ count , bytes ]}
  void WriteDataBlock(std::span<const std::uint8_t> bytes);
  // A block of table rows: the count is negative when the block holds the
  // last rows; a block without bytes is {"data":[0]}.
  void WriteRowBlock(std::span<const std::uint8_t> rows, bool last);
  // One chunk of a stream value, then Flush: {"data":[ count padded to nine
  // characters , bytes ]}. The count is negative for the last chunk. Takes
  // as many bytes from `source` as the buffer has room for; returns them.
  std::size_t WriteStreamChunk(ByteSource& source);

  // Hands the used part of the buffer to the channel; nothing when empty.
  void Flush();

 private:
  void Put(std::uint8_t byte) {
    if (used_ == buffer_.size()) WriteFullBuffer();
    buffer_[used_++] = byte;
  }
  void Put(char c) { Put(static_cast<std::uint8_t>(c)); }
  void WriteFullBuffer();

  TDbxChannel& channel_;
  std::vector<std::uint8_t> buffer_;
  std::size_t used_ = 0;
};

}  // namespace wardenix
