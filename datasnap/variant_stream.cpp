#include "datasnap/variant_stream.h"

#include <bit>
#include <cstring>

#include "runtime/errors.h"

namespace wardenix {
namespace {

constexpr std::uint8_t kBytesForm = 0x03;
constexpr std::uint8_t kStreamerForm = 0x02;
constexpr std::uint32_t kByRefMarker = 0x4000;
// Arrays of variants may hold arrays again; deeper nesting than this is
// refused rather than followed down the stack.
constexpr int kDeepestNesting = 32;
// Strings and byte runs are read in steps, so that a count from the stream
// never sizes an allocation before the bytes are there.
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

// Array elements of these types travel as one block of raw memory.
bool raw_element(std::uint32_t type) {
  return (type >= varSmallint && type <= varDate) || type == varBoolean ||
         (type >= varShortInt && type <= varLongWord);
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
  if (raw_element(element)) {
    const int size = simple_size(element);
    if (element == varByte) {
      out.Little(array.bytes.size(), 4);
      out.Raw(array.bytes);
      return;
    }
    out.Little(array.elements.size() * static_cast<std::size_t>(size), 4);
    for (const Variant& e : array.elements) out.Little(simple_bits(e, element), size);
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
  explicit In(ByteSource& source) : source_(source) {}

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
  // `count` bytes, in steps as they arrive.
  std::vector<std::uint8_t> Bytes(std::uint64_t count) {
    std::vector<std::uint8_t> bytes;
    while (bytes.size() < count) {
      const std::size_t have = bytes.size();
      const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(count - have, kReadStep));
      bytes.resize(have + step);
      Exact(std::span(bytes).subspan(have, step));
    }
    return bytes;
  }

 private:
  ByteSource& source_;
};

Variant simple_value(std::uint32_t type, std::uint64_t bits) {
  switch (type) {
    case varSmallint: return Variant::from_int16(static_cast<std::int16_t>(bits));
    case varInteger: return Variant::from_int32(static_cast<std::int32_t>(bits));
    case varSingle: return Variant::from_single(std::bit_cast<float>(static_cast<std::uint32_t>(bits)));
    case varDouble: return Variant::from_double(std::bit_cast<double>(bits));
    case varCurrency: return Variant::from_currency(Currency{static_cast<std::int64_t>(bits)});
    case varDate: return Variant::from_date(TDateTime{std::bit_cast<double>(bits)});
    case varError: return Variant::from_ordinal(varError, static_cast<std::int32_t>(bits));
    case varBoolean: return Variant::from_bool(bits != 0);
    case varShortInt: return Variant::from_ordinal(varShortInt, static_cast<std::int8_t>(bits));
    case varByte: return Variant::from_byte(static_cast<std::uint8_t>(bits));
    case varWord: return Variant::from_ordinal(varWord, static_cast<std::uint16_t>(bits));
    case varLongWord: return Variant::from_uint32(static_cast<std::uint32_t>(bits));
    default: return Variant();  // decimal: no bytes, no value
  }
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
  if (raw_element(element)) {
    const auto size = static_cast<std::size_t>(simple_size(element));
    const std::uint32_t total = in.U32();
    if (total != count * size) throw Exception(u"Stream read error");
    std::vector<std::uint8_t> bytes = in.Bytes(total);
    if (element == varByte) {
      array.bytes = std::move(bytes);
    } else {
      for (std::size_t at = 0; at < bytes.size(); at += size) {
        std::uint64_t bits = 0;
        for (std::size_t i = size; i-- > 0;) bits = (bits << 8) | bytes[at + i];
        array.elements.push_back(simple_value(element, bits));
      }
    }
    return Variant::from_array(std::move(array));
  }
  if (element == varDispatch || element == varUnknown) unsupported(element);
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
    case varOleStr: {
      const std::uint32_t length = in.U32();
      const std::vector<std::uint8_t> bytes = in.Bytes(std::uint64_t{length} * 2);
      UString text(length, u'\0');
      for (std::size_t i = 0; i < length; ++i) {
        text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
      }
      return Variant::from_string(std::move(text));
    }
    default:
      break;
  }
  const int size = simple_size(type);
  if (size < 0) unsupported(type);
  return simple_value(type, size == 0 ? 0 : in.Little(size));
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

Variant ReadOleVariant(ByteSource& source) {
  std::uint8_t form = 0;
  if (source.Read(std::span(&form, 1)) != 1) return Variant();
  In in(source);
  if (form == kBytesForm) {
    // Only the low 32 bits of the count are used.
    const auto count = static_cast<std::int32_t>(static_cast<std::uint32_t>(in.Little(8)));
    if (count <= 0) return Variant::Null();
    return Variant::from_bytes(in.Bytes(static_cast<std::uint64_t>(count)));
  }
  if (form == kStreamerForm) return read_streamer(in, 0);
  return Variant();
}

Variant ReadOleVariant(std::span<const std::uint8_t> bytes) {
  MemoryByteSource source(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  return ReadOleVariant(source);
}

}  // namespace wardenix
