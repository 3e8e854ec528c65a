#include "wire/row_buffer.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "runtime/errors.h"
#include "wire/message_reader.h"
#include "wire/string_coder.h"
#include "wire/time_zone.h"

namespace wardenix {
namespace {

constexpr std::uint8_t kNull = 0xC0;
constexpr std::uint8_t kTrue = 0x60;
constexpr std::uint8_t kFalse = 0x20;
constexpr std::uint8_t kPositive = 0x60;  // short value, zero or positive
constexpr std::uint8_t kNegative = 0x20;  // short value, negative
constexpr std::uint8_t kLength16 = 0x10;
constexpr std::uint8_t kLength16More = 0x50;
constexpr std::uint8_t kJson = 0x40;
constexpr std::uint8_t kCallback = 0x02;

std::uint32_t big_endian16(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 8) | p[1];
}

std::uint32_t big_endian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}

std::size_t magnitude_bytes(std::uint64_t magnitude) {
  std::size_t n = 0;
  for (; magnitude != 0; magnitude >>= 8) ++n;
  return n;
}

std::uint64_t magnitude_of(std::int64_t value) {
  return value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

}  // namespace

struct TDBXRowBuffer::Located {
  bool null = false;
  std::size_t data_at = 0;
  std::size_t data_length = 0;
  bool more = false;
  std::optional<std::int64_t> known_size;
};

TDBXRowBuffer::TDBXRowBuffer(std::int32_t writer_buffer_size, bool client, bool parameter_buffer)
    : client_(client), parameter_buffer_(parameter_buffer) {
  const std::size_t w = writer_buffer_size > 0 ? static_cast<std::size_t>(writer_buffer_size) : 8192;
  min_size_ = w >= 4096 ? w - 2048 : w;
  buffer_.resize(min_size_);
}

void TDBXRowBuffer::Fail(std::int32_t code, UString message) const {
  if (context_) context_->Error(code, std::move(message));
  throw TDBXError(code, std::move(message));
}

// ---- writing

void TDBXRowBuffer::Grow(std::size_t needed) {
  if (needed > buffer_.size()) buffer_.resize(needed);
}

std::size_t TDBXRowBuffer::InlineCapacity() const {
  const std::size_t capacity =
      offset_ + kInlineLimit + 3 <= min_size_ ? buffer_.size() - offset_ - 3 : kInlineLimit;
  return std::min<std::size_t>(capacity, 65535);
}

void TDBXRowBuffer::WriteNull() {
  Grow(offset_ + 1);
  buffer_[offset_++] = kNull;
}

void TDBXRowBuffer::WriteBoolean(bool value) {
  Grow(offset_ + 1);
  buffer_[offset_++] = value ? kTrue : kFalse;
}

void TDBXRowBuffer::PutInteger(std::uint64_t magnitude, bool negative) {
  const std::size_t n = magnitude_bytes(magnitude);
  Grow(offset_ + 1 + n);
  buffer_[offset_++] = static_cast<std::uint8_t>((negative ? kNegative : kPositive) + n);
  for (std::size_t i = n; i-- > 0;) buffer_[offset_++] = static_cast<std::uint8_t>(magnitude >> (8 * i));
}

void TDBXRowBuffer::WriteInt32(std::int32_t value) { PutInteger(magnitude_of(value), value < 0); }
void TDBXRowBuffer::WriteInt64(std::int64_t value) { PutInteger(magnitude_of(value), value < 0); }

// The leading bytes of the big-endian form, without trailing zero bytes.
void TDBXRowBuffer::PutFloat(std::uint64_t bits, int width) {
  const bool negative = (bits >> (8 * width - 1)) & 1;
  std::size_t n = static_cast<std::size_t>(width);
  while (n > 0 && ((bits >> (8 * (static_cast<std::size_t>(width) - n))) & 0xFF) == 0) --n;
  Grow(offset_ + 1 + n);
  buffer_[offset_++] = static_cast<std::uint8_t>((negative ? kNegative : kPositive) + n);
  for (std::size_t i = 0; i < n; ++i) {
    buffer_[offset_++] =
        static_cast<std::uint8_t>(bits >> (8 * (static_cast<std::size_t>(width) - 1 - i)));
  }
}

void TDBXRowBuffer::WriteDouble(double value) { PutFloat(std::bit_cast<std::uint64_t>(value), 8); }
void TDBXRowBuffer::WriteSingle(float value) { PutFloat(std::bit_cast<std::uint32_t>(value), 4); }

void TDBXRowBuffer::WriteDate(int year, int month, int day) {
  WriteInt32(year * 512 + month * 32 + day);
}

void TDBXRowBuffer::WriteTime(std::int32_t milliseconds_since_midnight) {
  WriteInt32(milliseconds_since_midnight);
}

void TDBXRowBuffer::WriteTimestamp(const TSQLTimeStamp& local) {
  const DateTimeParts parts{local.year, local.month, local.day, local.hour,
                            local.minute, local.second, 0};
  const std::int64_t milliseconds = LocalToUnixSeconds(parts) * 1000;
  const std::uint32_t nanoseconds = local.fractions * 1'000'000u;
  const std::uint64_t magnitude = magnitude_of(milliseconds);
  const std::size_t n = magnitude_bytes(magnitude);
  const std::size_t total = 1 + n + (nanoseconds != 0 ? 4 : 0);
  Grow(offset_ + 1 + total);
  buffer_[offset_++] = static_cast<std::uint8_t>(kNegative + total);
  PutInteger(magnitude, milliseconds < 0);
  if (nanoseconds != 0) {
    for (int shift = 24; shift >= 0; shift -= 8) {
      buffer_[offset_++] = static_cast<std::uint8_t>(nanoseconds >> shift);
    }
  }
}

std::unique_ptr<ByteSource> TDBXRowBuffer::WriteString(UStringView text) {
  const std::size_t capacity = InlineCapacity();
  const std::size_t length = TDBXStringEncoder::EncodedLength(text);
  if (length <= capacity) {
    const std::size_t header = length < 32 ? 1 : 3;
    Grow(offset_ + header + length);
    if (length < 32) {
      buffer_[offset_++] = static_cast<std::uint8_t>(0x20 + length);
    } else {
      buffer_[offset_++] = kLength16;
      buffer_[offset_++] = static_cast<std::uint8_t>(length >> 8);
      buffer_[offset_++] = static_cast<std::uint8_t>(length);
    }
    TDBXStringEncoder::Encode(text, buffer_.data() + offset_);
    offset_ += length;
    return nullptr;
  }
  std::vector<std::uint8_t> encoded(length);
  TDBXStringEncoder::Encode(text, encoded.data());
  Grow(offset_ + 3 + capacity);
  buffer_[offset_++] = kLength16More;
  buffer_[offset_++] = static_cast<std::uint8_t>(capacity >> 8);
  buffer_[offset_++] = static_cast<std::uint8_t>(capacity);
  std::memcpy(buffer_.data() + offset_, encoded.data(), capacity);
  offset_ += capacity;
  encoded.erase(encoded.begin(), encoded.begin() + static_cast<std::ptrdiff_t>(capacity));
  return std::make_unique<MemoryByteSource>(std::move(encoded));
}

std::size_t TDBXRowBuffer::WriteBytes(ByteSource& source) {
  Grow(offset_ + kInlineLimit + 3);
  const std::size_t capacity = InlineCapacity();
  const std::size_t n = source.Read(std::span(buffer_).subspan(offset_ + 3, capacity));
  if (n == 0) {
    buffer_[offset_++] = 0x20;
    return 0;
  }
  buffer_[offset_] = source.AtEnd() ? kLength16 : kLength16More;
  buffer_[offset_ + 1] = static_cast<std::uint8_t>(n >> 8);
  buffer_[offset_ + 2] = static_cast<std::uint8_t>(n);
  offset_ += 3 + n;
  return n;
}

void TDBXRowBuffer::WriteJson(std::string_view json_text) {
  const auto length = static_cast<std::uint32_t>(json_text.size());
  Grow(offset_ + 5 + json_text.size());
  buffer_[offset_++] = kJson;
  for (int shift = 24; shift >= 0; shift -= 8) {
    buffer_[offset_++] = static_cast<std::uint8_t>(length >> shift);
  }
  std::memcpy(buffer_.data() + offset_, json_text.data(), json_text.size());
  offset_ += json_text.size();
}

void TDBXRowBuffer::WriteCallback(bool assigned) {
  Grow(offset_ + 1);
  buffer_[offset_++] = assigned ? kCallback : kNull;
}

// ---- reading

void TDBXRowBuffer::LoadRow(std::span<const std::uint8_t> bytes) {
  if (bytes.size() > buffer_.size()) {
    buffer_.assign(bytes.begin(), bytes.end());
  } else if (!bytes.empty()) {
    std::memcpy(buffer_.data(), bytes.data(), bytes.size());
  }
  read_size_ = bytes.size();
  read_at_ = row_start_ = 0;
  ordinal_ = 0;
}

void TDBXRowBuffer::LoadRow(TDBXJSonStreamReader& reader, std::uint64_t count) {
  CheckReplySize(count, reply_limit_);
  // Empty until the block is in whole, should reading it fail.
  read_size_ = 0;
  if (count <= buffer_.size()) {
    reader.ReadDataBytes(std::span(buffer_).first(static_cast<std::size_t>(count)));
  } else {
    // The previous content goes first, so that a large block is not held
    // beside it; the buffer keeps its minimum size should the read fail.
    buffer_ = std::vector<std::uint8_t>(min_size_);
    std::vector<std::uint8_t> incoming;
    reader.ReadDataBytes(incoming, count);
    buffer_ = std::move(incoming);
  }
  read_size_ = static_cast<std::size_t>(count);
  read_at_ = row_start_ = 0;
  ordinal_ = 0;
}

void TDBXRowBuffer::Need(std::size_t at, std::uint64_t size) const {
  if (at > read_size_ || size > read_size_ - at) Fail(0, u"Row data ends inside a value");
}

// The whole size of the value at `at`, by the class of its header.
std::size_t TDBXRowBuffer::ValueSize(std::size_t at) const {
  Need(at, 1);
  const std::uint8_t h = buffer_[at];
  std::uint64_t size = 0;
  if (h & 0x80) {
    size = 1;
  } else if (h & 0x20) {
    size = 1u + (h & 0x1Fu);
  } else if (h == kCallback) {
    size = 1;
  } else if (h & 0x10) {
    Need(at, 3);
    size = 3u + big_endian16(&buffer_[at + 1]);
  } else if (h & 0x40) {
    Need(at, 5);
    size = 5u + std::uint64_t{big_endian32(&buffer_[at + 1])};
  } else if (h & 0x08) {
    if (h == 0x08) {
      size = 5;
    } else {
      Need(at, 6);
      size = 6u + (buffer_[at + 5] & 0x1Fu);
    }
  } else {
    // 00 is the legacy zero-terminated string, which this client never
    // receives and does not accept.
    Fail(0, u"Unexpected header");
  }
  Need(at, size);
  return static_cast<std::size_t>(size);
}

void TDBXRowBuffer::GoToField(std::int32_t ordinal) {
  if (ordinal < 0) Fail(8, u"Invalid Ordinal:  " + to_ustring(ordinal));
  if (ordinal < ordinal_) {
    read_at_ = row_start_;
    ordinal_ = 0;
  }
  while (ordinal_ < ordinal) {
    read_at_ += ValueSize(read_at_);
    ++ordinal_;
  }
}

std::uint8_t TDBXRowBuffer::Enter(std::int32_t ordinal, std::size_t& at, std::size_t& size) {
  GoToField(ordinal);
  at = read_at_;
  size = ValueSize(at);
  read_at_ += size;
  ++ordinal_;
  return buffer_[at];
}

bool TDBXRowBuffer::GetNull(std::int32_t ordinal) {
  GoToField(ordinal);
  Need(read_at_, 1);
  return (buffer_[read_at_] & 0x80) != 0;
}

bool TDBXRowBuffer::ReadBoolean(std::int32_t ordinal) {
  std::size_t at = 0, size = 0;
  const std::uint8_t h = Enter(ordinal, at, size);
  return !(h & 0x80) && (h & 0x40);
}

std::uint64_t TDBXRowBuffer::ReadMagnitude(std::size_t at, std::size_t n) const {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < n; ++i) value = (value << 8) | buffer_[at + i];
  return value;
}

// Short values only: n bytes big-endian; a positive result is negated when
// the header's bit 6 is clear (a result already negative stays as it is).
std::int64_t TDBXRowBuffer::DecodeInteger(std::size_t at, int width) {
  const std::uint8_t h = buffer_[at];
  if (h & 0x80) return 0;
  if (!(h & 0x20)) Fail(0, u"Unexpected header");
  const std::size_t n = h & 0x1Fu;
  Need(at, 1 + n);
  const std::uint64_t raw = ReadMagnitude(at + 1, n);
  const bool negate = !(h & 0x40);
  if (width == 32) {
    const auto v = static_cast<std::int32_t>(static_cast<std::uint32_t>(raw));
    return negate && v > 0 ? -v : v;
  }
  const auto v = static_cast<std::int64_t>(raw);
  return negate && v > 0 ? -v : v;
}

std::int32_t TDBXRowBuffer::ReadInt32(std::int32_t ordinal) {
  std::size_t at = 0, size = 0;
  Enter(ordinal, at, size);
  return static_cast<std::int32_t>(DecodeInteger(at, 32));
}

std::int64_t TDBXRowBuffer::ReadInt64(std::int32_t ordinal) {
  std::size_t at = 0, size = 0;
  Enter(ordinal, at, size);
  return DecodeInteger(at, 64);
}

double TDBXRowBuffer::ReadDouble(std::int32_t ordinal) {
  std::size_t at = 0, size = 0;
  const std::uint8_t h = Enter(ordinal, at, size);
  if (h & 0x80) return 0.0;
  if (!(h & 0x20)) Fail(0, u"Unexpected header");
  const std::size_t n = std::min<std::size_t>(h & 0x1Fu, 8);
  std::uint64_t bits = n == 0 ? 0 : ReadMagnitude(at + 1, n) << (8 * (8 - n));
  if (!(h & 0x40) && !(bits >> 63)) bits = ~bits;
  return std::bit_cast<double>(bits);
}

float TDBXRowBuffer::ReadSingle(std::int32_t ordinal) {
  std::size_t at = 0, size = 0;
  const std::uint8_t h = Enter(ordinal, at, size);
  if (h & 0x80) return 0.0f;
  if (!(h & 0x20)) Fail(0, u"Unexpected header");
  const std::size_t n = std::min<std::size_t>(h & 0x1Fu, 4);
  auto bits = static_cast<std::uint32_t>(n == 0 ? 0 : ReadMagnitude(at + 1, n) << (8 * (4 - n)));
  if (!(h & 0x40) && !(bits >> 31)) bits = ~bits;
  return std::bit_cast<float>(bits);
}

void TDBXRowBuffer::ReadDate(std::int32_t ordinal, int& year, int& month, int& day) {
  const std::int32_t v = ReadInt32(ordinal);
  year = v >> 9;
  month = (v >> 5) & 0xF;
  day = v & 0x1F;
}

std::int32_t TDBXRowBuffer::ReadTime(std::int32_t ordinal) { return ReadInt32(ordinal); }

TSQLTimeStamp TDBXRowBuffer::ReadTimestamp(std::int32_t ordinal) {
  std::size_t at = 0, size = 0;
  const std::uint8_t h = Enter(ordinal, at, size);
  if (h & 0x80) return {};
  if (!(h & 0x20) || size < 2) Fail(0, u"Unexpected header");
  const std::size_t inner = ValueSize(at + 1);
  if (1 + inner > size) Fail(0, u"Unexpected header");
  const std::int64_t milliseconds = DecodeInteger(at + 1, 64);
  std::uint32_t nanoseconds = 0;
  if (size >= 1 + inner + 4) nanoseconds = big_endian32(&buffer_[at + 1 + inner]);

  const std::int64_t seconds = floor_div(milliseconds, 1000);
  return ToSQLTimeStamp(UnixSecondsToLocal(seconds), nanoseconds / 1'000'000u);
}

UString TDBXRowBuffer::ReadBcdBinary(std::int32_t ordinal) {
  std::size_t at = 0, size = 0;
  const std::uint8_t h = Enter(ordinal, at, size);
  if (h & 0x80) return {};
  if (!(h & 0x20) || size < 2) Fail(0, u"Unexpected header");
  const std::size_t digits_bytes = size - 2;
  if (digits_bytes > 8) Fail(14, u"BCD to big");
  const unsigned scale = buffer_[at + 1] & 0x7Fu;
  UString digits = to_ustring_unsigned(ReadMagnitude(at + 2, digits_bytes));
  if (scale > 0) {
    if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), u'0');
    digits.insert(digits.size() - scale, 1, u'.');
  }
  if (!(h & 0x40) && digits.find_first_not_of(u"0.") != UString::npos) digits.insert(0, 1, u'-');
  return digits;
}

// Where the data of a string, byte or stream value lies, and whether more
// of it follows outside the row.
TDBXRowBuffer::Located TDBXRowBuffer::Locate(std::int32_t ordinal) {
  std::size_t at = 0, size = 0;
  const std::uint8_t h = Enter(ordinal, at, size);
  Located value;
  if (h & 0x80) {
    value.null = true;
  } else if (h & 0x20) {
    value.data_at = at + 1;
    value.data_length = h & 0x1Fu;
    value.more = (h & 0x40) != 0;
  } else if (h == kCallback) {
    Fail(0, u"Unexpected header");
  } else if (h & 0x10) {
    value.data_at = at + 3;
    value.data_length = size - 3;
    value.more = (h & 0x40) != 0;
  } else if (h & 0x40) {
    value.data_at = at + 5;
    value.data_length = size - 5;
  } else {  // blob reference: the whole size, and maybe a first part inline
    value.known_size = big_endian32(&buffer_[at + 1]);
    CheckReplySize(static_cast<std::uint64_t>(*value.known_size), reply_limit_);
    value.data_at = at + (h == 0x08 ? 5 : 6);
    value.data_length = size - value.data_at + at;
    value.more = h == 0x08 || h == 0x0C;
  }
  return value;
}

std::unique_ptr<TDBXRowBlobStreamReader> TDBXRowBuffer::MakeBlobReader(const Located& value,
                                                                       std::int32_t ordinal) {
  BlobKey key;
  key.command_handle = command_handle_;
  key.blob_handle = ++blob_counter_;
  key.row = parameter_buffer_ ? 0 : row_number_;
  key.ordinal = ordinal;
  key.parameter_row = parameter_buffer_;
  key.row_handle = row_handle_;
  const auto first = buffer_.begin() + static_cast<std::ptrdiff_t>(value.data_at);
  return std::make_unique<TDBXRowBlobStreamReader>(
      key, value.known_size,
      std::vector<std::uint8_t>(first, first + static_cast<std::ptrdiff_t>(value.data_length)),
      blob_request_, generation_, reply_limit_);
}

UString TDBXRowBuffer::ReadString(std::int32_t ordinal) {
  const Located value = Locate(ordinal);
  if (value.null) return {};
  if (!value.more) return DecodeText(std::span(buffer_).subspan(value.data_at, value.data_length));
  auto reader = MakeBlobReader(value, ordinal);
  return DecodeText(ReadAll(*reader));
}

std::unique_ptr<ByteSource> TDBXRowBuffer::ReadBytes(std::int32_t ordinal) {
  const Located value = Locate(ordinal);
  if (value.null) return nullptr;
  if (value.more) return MakeBlobReader(value, ordinal);
  const auto first = buffer_.begin() + static_cast<std::ptrdiff_t>(value.data_at);
  return std::make_unique<MemoryByteSource>(
      std::vector<std::uint8_t>(first, first + static_cast<std::ptrdiff_t>(value.data_length)));
}

std::optional<std::string> TDBXRowBuffer::ReadJson(std::int32_t ordinal) {
  std::size_t at = 0, size = 0;
  const std::uint8_t h = Enter(ordinal, at, size);
  if (h & 0x80) return std::nullopt;
  if (h != kJson) Fail(0, u"Invalid JSON header byte encountered");
  return std::string(reinterpret_cast<const char*>(buffer_.data()) + at + 5, size - 5);
}

bool TDBXRowBuffer::NextRow() {
  GoToField(column_count_);
  row_start_ = read_at_;
  ordinal_ = 0;
  ++row_number_;
  return read_at_ < read_size_;
}

void TDBXRowBuffer::InvalidateBlobs() {
  generation_->value.fetch_add(1);
  command_handle_ = -1;
}

}  // namespace wardenix
