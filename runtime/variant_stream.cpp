#include "runtime/variant_stream.h"

#include <algorithm>
#include <bit>

#include "runtime/errors.h"

namespace wardenix {
namespace {

constexpr std::uint8_t kBytesForm = 0x03;
constexpr std::uint8_t kStreamerForm = 0x02;
constexpr std::uint32_t kByRefMarker = 0x4000;
// Arrays of variants may hold arrays again; deeper nesting than this is
// refused rather than followed down the stack.
constexpr int kDeepestNesting = 32;
// Strings and byte runs are read in steps: their block is reserved once, at
// the size the stream gives (within the limit), and its pages are touched
// only as the bytes arrive.
constexpr std::size_t kReadStep = 64 * 1024;

[[noreturn]] void unsupported(std::uint32_t type) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  UString code;
  for (int shift = 12; shift >= 0; shift -= 4) code += kHex[(type >> shift) & 0xF];
  throw Exception(format_message(u"Unsupported variant type: %s", {code}));
}

// Bytes of one element of the simple types; -1 for the others.
int simple_size(std::uint32_t type) {
  switch (type) {
    case varSmallint: return 2;
    case varInteger: return 4;
    case varSingle: return 4;
    case varDouble: return 8;
    case varCurrency: return 8;
    case varDate: return 8;
    case varError: return 4;
    case varBoolean: return 2;
    case 14: return 0;  // decimal
    case varShortInt: return 1;
    case varByte: return 1;
    case varWord: return 2;
    case varLongWord: return 4;
    default: return -1;
  }
}

// Array elements of these types travel as one block of raw memory, the
// memory an array of them keeps.
std::size_t raw_size(std::uint32_t type) {
  return type <= varTypeMask ? RawElementSize(static_cast<VarType>(type)) : 0;
}

class Out {
 public:
  explicit Out(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
  void Byte(std::uint8_t b) { bytes_.push_back(b); }
  void Little(std::uint64_t v, int size) {
    for (int i = 0; i < size; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void Raw(std::span<const std::uint8_t> b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }

 private:
  std::vector<std::uint8_t>& bytes_;
};

// The raw little-endian bits of a simple value.
std::uint64_t simple_bits(const Variant& v, std::uint32_t type) {
  switch (type) {
    case varSingle: return std::bit_cast<std::uint32_t>(static_cast<float>(v.as_double()));
    case varDouble:
    case varDate: return std::bit_cast<std::uint64_t>(v.as_double());
    case varBoolean: return v.as_bool() ? 0xFFFF : 0;
    default: return static_cast<std::uint64_t>(v.as_int64());
  }
}

void write_streamer(const Variant& v, Out& out);

void write_array(const Variant& v, Out& out) {
  const VariantArray& array = *v.array();
  const std::uint32_t element = array.element_type;
  out.Little(varArray | element, 4);
  out.Little(array.bounds.size(), 4);
  for (const ArrayBound& b : array.bounds) out.Little(static_cast<std::uint32_t>(b.low), 4);
  for (const ArrayBound& b : array.bounds) out.Little(static_cast<std::uint32_t>(b.high), 4);
  if (raw_size(element) > 0) {
    out.Little(array.bytes.size(), 4);
    out.Raw(array.bytes);
    return;
  }
  for (const Variant& e : array.elements) write_streamer(e, out);
}

void write_streamer(const Variant& v, Out& out) {
  const std::uint32_t type = v.type();
  if (v.is_array()) {
    if (!v.array()) unsupported(type);
    write_array(v, out);
    return;
  }
  switch (type) {
    case varEmpty:
    case varNull:
      out.Little(type, 4);
      return;
    case varOleStr: {
      const UString& text = v.as_string();
      out.Little(type, 4);
      out.Little(text.size(), 4);
      for (const char16_t c : text) out.Little(c, 2);
      return;
    }
    default:
      break;
  }
  const int size = simple_size(type);
  if (size < 0) unsupported(type);
  out.Little(type, 4);
  out.Little(simple_bits(v, type), size);
}

// ---- reading

class In {
 public:
  In(ByteSource& source, std::uint64_t limit) : source_(source), budget_(limit), limit_(limit) {}

  void Exact(std::span<std::uint8_t> into) {
    if (source_.Read(into) != into.size()) throw Exception(u"Stream read error");
  }
  std::uint64_t Little(int size) {
    std::uint8_t b[8] = {};
    Exact(std::span(b, static_cast<std::size_t>(size)));
    std::uint64_t v = 0;
    for (int i = size; i-- > 0;) v = (v << 8) | b[i];
    return v;
  }
  std::uint32_t U32() { return static_cast<std::uint32_t>(Little(4)); }
  std::int32_t I32() { return static_cast<std::int32_t>(U32()); }

  // Counts `bytes` of memory against what the whole variant may take.
  void Charge(std::uint64_t bytes) {
    if (bytes > budget_) CheckReplySize(limit_ - budget_ + bytes, limit_);
    budget_ -= bytes;
  }
  // `count` bytes into `out`, which ends up holding exactly them.
  void Bytes(std::vector<std::uint8_t>& out, std::uint64_t count) {
    Charge(count);
    out.reserve(static_cast<std::size_t>(count));
    while (out.size() < count) {
      const std::size_t have = out.size();
      const auto step = static_cast<std::size_t>(std::min<std::uint64_t>(count - have, kReadStep));
      out.resize(have + step);
      Exact(std::span(out).subspan(have, step));
    }
  }
  // `length` UTF-16 little-endian code units.
  UString Text(std::uint32_t length) {
    Charge(std::uint64_t{length} * 2);
    UString text;
    text.reserve(length);
    std::uint8_t step[4096];
    while (text.size() < length) {
      const std::size_t units = std::min<std::size_t>(length - text.size(), sizeof step / 2);
      Exact(std::span(step, units * 2));
      for (std::size_t i = 0; i < units; ++i) {
        text += static_cast<char16_t>(step[2 * i] | (step[2 * i + 1] << 8));
      }
    }
    return text;
  }

 private:
  ByteSource& source_;
  std::uint64_t budget_;
  std::uint64_t limit_;
};

Variant simple_value(std::uint32_t type, In& in) {
  switch (type) {
    case varError: return Variant::from_ordinal(varError, static_cast<std::int32_t>(in.U32()));
    case 14: return Variant();  // decimal: no bytes, no value
    default: break;
  }
  std::uint8_t raw[8] = {};
  const std::size_t size = raw_size(type);
  in.Exact(std::span(raw, size));
  return VariantFromRaw(static_cast<VarType>(type), std::span(raw, size));
}

Variant read_streamer(In& in, int depth);

Variant read_array(In& in, std::uint32_t type, int depth) {
  const std::uint32_t element = type & varTypeMask;
  const std::uint32_t dimensions = in.U32();
  if (dimensions == 0 || dimensions > 64) throw Exception(u"Stream read error");
  VariantArray array;
  array.element_type = static_cast<VarType>(element);
  array.bounds.resize(dimensions);
  for (ArrayBound& b : array.bounds) b.low = in.I32();
  std::uint64_t count = 1;
  for (ArrayBound& b : array.bounds) {
    b.high = in.I32();
    const std::int64_t extent = b.extent();
    if (extent < 0) throw Exception(u"Stream read error");
    count *= static_cast<std::uint64_t>(extent);
    if (count > 0x7FFFFFFF) throw Exception(u"Stream read error");
  }
  if (const std::size_t size = raw_size(element); size > 0) {
    const std::uint32_t total = in.U32();
    if (total != count * size) throw Exception(u"Stream read error");
    in.Bytes(array.bytes, total);
    return Variant::from_array(std::move(array));
  }
  if (element == varDispatch || element == varUnknown) unsupported(element);
  // Each element is a Variant of its own, whatever its size in the stream.
  in.Charge(count * sizeof(Variant));
  array.elements.reserve(static_cast<std::size_t>(count));
  for (std::uint64_t i = 0; i < count; ++i) array.elements.push_back(read_streamer(in, depth + 1));
  return Variant::from_array(std::move(array));
}

Variant read_streamer(In& in, int depth) {
  if (depth > kDeepestNesting) throw Exception(u"Variant nesting too deep");
  const std::uint32_t type = in.U32();
  if (type == kByRefMarker) return read_streamer(in, depth + 1);
  if (type & varArray) return read_array(in, type, depth);
  switch (type) {
    case varEmpty: return Variant();
    case varNull: return Variant::Null();
    case varOleStr: return Variant::from_string(in.Text(in.U32()));
    default:
      break;
  }
  if (simple_size(type) < 0) unsupported(type);
  return simple_value(type, in);
}

}  // namespace

void WriteOleVariant(const Variant& value, std::vector<std::uint8_t>& out) {
  if (value.is_byte_array()) {
    WriteOleVariantBytes(value, out);
    return;
  }
  out.push_back(kStreamerForm);
  Out writer(out);
  write_streamer(value, writer);
}

std::vector<std::uint8_t> WriteOleVariant(const Variant& value) {
  std::vector<std::uint8_t> out;
  WriteOleVariant(value, out);
  return out;
}

void WriteOleVariantBytes(const Variant& value, std::vector<std::uint8_t>& out) {
  Out writer(out);
  writer.Byte(kBytesForm);
  const auto bytes = value.bytes();
  writer.Little(bytes.size(), 8);
  writer.Raw(bytes);
}

Variant ReadOleVariant(ByteSource& source, std::uint64_t limit) {
  std::uint8_t form = 0;
  if (source.Read(std::span(&form, 1)) != 1) return Variant();
  In in(source, limit);
  if (form == kBytesForm) {
    // Only the low 32 bits of the count are used.
    const auto count = static_cast<std::int32_t>(static_cast<std::uint32_t>(in.Little(8)));
    if (count <= 0) return Variant::Null();
    std::vector<std::uint8_t> bytes;
    in.Bytes(bytes, static_cast<std::uint64_t>(count));
    return Variant::from_bytes(std::move(bytes));
  }
  if (form == kStreamerForm) return read_streamer(in, 0);
  return Variant();
}

Variant ReadOleVariant(std::span<const std::uint8_t> bytes, std::uint64_t limit) {
  SpanByteSource source(bytes);
  return ReadOleVariant(source, limit);
}

}  // namespace wardenix
