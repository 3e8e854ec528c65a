#include "wire/message_writer.h"

#include <algorithm>
#include <cstring>

#include "wire/message_fragments.h"

namespace wardenix {
namespace {

constexpr std::size_t kDefaultSize = 8192;
// Room for the opening, the count field, the comma and the closing of a
// chunk with at least one byte of data.
constexpr std::size_t kChunkFrame = 9 + 9 + 1 + 2;
constexpr std::size_t kCountField = 9;
// The largest count that fits the field with its sign.
constexpr std::size_t kLargestChunk = 99'999'999;

// Decimal digits of `value` into the end of `scratch`; returns where they start.
char* format_decimal(std::int64_t value, char (&scratch)[20]) {
  char* end = scratch + sizeof scratch;
  char* p = end;
  // Unsigned arithmetic keeps the most negative value exact.
  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value)
                                      : static_cast<std::uint64_t>(value);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--p = '-';
  return p;
}

}  // namespace

TDBXJSonStreamWriter::TDBXJSonStreamWriter(TDbxChannel& channel, std::int32_t buffer_size)
    : channel_(channel),
      buffer_(buffer_size > 0 ? std::max<std::size_t>(static_cast<std::size_t>(buffer_size), 64)
                              : kDefaultSize) {}

void TDBXJSonStreamWriter::WriteFullBuffer() {
  channel_.Write(buffer_);
  used_ = 0;
}

void TDBXJSonStreamWriter::Flush() {
  const std::size_t n = used_;
  used_ = 0;
  if (n > 0) channel_.Write(std::span(buffer_).first(n));
}

void TDBXJSonStreamWriter::WriteLong(std::int64_t value) {
  char scratch[20];
  const char* p = format_decimal(value, scratch);
  WriteFragment(std::string_view(p, static_cast<std::size_t>(scratch + sizeof scratch - p)));
}

void TDBXJSonStreamWriter::WriteBoolean(bool value) {
  WriteFragment(value ? fragment::kTrue : fragment::kFalse);
}

void TDBXJSonStreamWriter::WriteNull() { WriteFragment(fragment::kNull); }

void TDBXJSonStreamWriter::WriteFragment(std::string_view ascii) {
  WriteBytes(std::span(reinterpret_cast<const std::uint8_t*>(ascii.data()), ascii.size()));
}

void TDBXJSonStreamWriter::WriteBytes(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    if (used_ == buffer_.size()) WriteFullBuffer();
    const std::size_t n = std::min(bytes.size(), buffer_.size() - used_);
    std::memcpy(buffer_.data() + used_, bytes.data(), n);
    used_ += n;
    bytes = bytes.subspan(n);
  }
}

void TDBXJSonStreamWriter::WriteString(UStringView text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  Put('"');
  std::size_t i = 0;
  while (i < text.size()) {
    // Plain characters go straight into the free part of the buffer.
    std::uint8_t* out = buffer_.data() + used_;
    std::uint8_t* const limit = buffer_.data() + buffer_.size();
    while (i < text.size() && out < limit) {
      const char16_t c = text[i];
      if (c < 32 || c > 255 || c == u'"' || c == u'\\') break;
      *out++ = static_cast<std::uint8_t>(c);
      ++i;
    }
    used_ = static_cast<std::size_t>(out - buffer_.data());
    if (i == text.size()) break;
    const char16_t c = text[i];
    if (c >= 32 && c <= 255 && c != u'"' && c != u'\\') {
      Put(static_cast<std::uint8_t>(c));  // buffer was full
      ++i;
      continue;
    }
    Put('\\');
    switch (c) {
      case 8: Put('b'); break;
      case 9: Put('t'); break;
      case 10: Put('n'); break;
      case 12: Put('f'); break;
      case 13: Put('r'); break;
      case u'"': Put('"'); break;
      case u'\\': Put('\\'); break;
      default:
        Put('u');
        for (int shift = 12; shift >= 0; shift -= 4) Put(kHex[(c >> shift) & 0xF]);
    }
    ++i;
  }
  Put('"');
}

void TDBXJSonStreamWriter::WriteNamedString(UStringView name, UStringView value) {
  WriteString(name);
  WriteNameSeparator();
  WriteString(value);
}

void TDBXJSonStreamWriter::WriteDataBlock(std::span<const std::uint8_t> bytes) {
  WriteFragment(fragment::kDataObject);
  WriteLong(static_cast<std::int64_t>(bytes.size()));
  WriteValueSeparator();
  WriteBytes(bytes);
  WriteArrayEnd();
  WriteObjectEnd();
}

void TDBXJSonStreamWriter::WriteRowBlock(std::span<const std::uint8_t> rows, bool last) {
  WriteFragment(fragment::kDataObject);
  const auto count = static_cast<std::int64_t>(rows.size());
  WriteLong(last ? -count : count);
  if (!rows.empty()) {
    WriteValueSeparator();
    WriteBytes(rows);
  }
  WriteArrayEnd();
  WriteObjectEnd();
}

std::size_t TDBXJSonStreamWriter::WriteStreamChunk(ByteSource& source) {
  if (buffer_.size() - used_ < kChunkFrame) Flush();
  WriteFragment(fragment::kDataObject);
  const std::size_t count_at = used_;
  std::memset(buffer_.data() + count_at, ' ', kCountField);
  used_ += kCountField;
  buffer_[used_++] = ',';
  const std::size_t room = std::min(buffer_.size() - used_ - 2, kLargestChunk);
  const std::size_t n = source.Read(std::span(buffer_).subspan(used_, room));
  used_ += n;
  const auto count = static_cast<std::int64_t>(n);
  char scratch[20];
  const char* digits = format_decimal(source.AtEnd() ? -count : count, scratch);
  std::memcpy(buffer_.data() + count_at, digits,
              static_cast<std::size_t>(scratch + sizeof scratch - digits));
  buffer_[used_++] = ']';
  buffer_[used_++] = '}';
  Flush();
  return n;
}

}  // namespace wardenix
