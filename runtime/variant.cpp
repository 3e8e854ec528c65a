#include "runtime/variant.h"

#include <bit>
#include <utility>

namespace wardenix {

std::size_t RawElementSize(VarType element_type) {
  switch (element_type) {
    case varShortInt:
    case varByte: return 1;
    case varSmallint:
    case varWord:
    case varBoolean: return 2;
    case varInteger:
    case varLongWord:
    case varSingle: return 4;
    case varDouble:
    case varCurrency:
    case varDate: return 8;
    default: return 0;
  }
}

Variant VariantFromRaw(VarType type, std::span<const std::uint8_t> raw) {
  const std::size_t size = RawElementSize(type);
  if (size == 0 || raw.size() < size) return Variant();
  std::uint64_t bits = 0;
  for (std::size_t i = size; i-- > 0;) bits = (bits << 8) | raw[i];
  switch (type) {
    case varShortInt: return Variant::from_ordinal(varShortInt, static_cast<std::int8_t>(bits));
    case varByte: return Variant::from_byte(static_cast<std::uint8_t>(bits));
    case varSmallint: return Variant::from_int16(static_cast<std::int16_t>(bits));
    case varWord: return Variant::from_ordinal(varWord, static_cast<std::uint16_t>(bits));
    case varBoolean: return Variant::from_bool(bits != 0);
    case varInteger: return Variant::from_int32(static_cast<std::int32_t>(bits));
    case varLongWord: return Variant::from_uint32(static_cast<std::uint32_t>(bits));
    case varSingle: return Variant::from_single(std::bit_cast<float>(static_cast<std::uint32_t>(bits)));
    case varDouble: return Variant::from_double(std::bit_cast<double>(bits));
    case varCurrency: return Variant::from_currency(Currency{static_cast<std::int64_t>(bits)});
    default: return Variant::from_date(TDateTime{std::bit_cast<double>(bits)});
  }
}

std::uint64_t VariantArray::count() const {
  if (bounds.empty()) return 0;
  std::uint64_t n = 1;
  for (const ArrayBound& b : bounds) n *= b.extent() > 0 ? static_cast<std::uint64_t>(b.extent()) : 0;
  return n;
}

Variant VariantArray::element(std::size_t index) const {
  const std::size_t size = RawElementSize(element_type);
  if (size == 0) return index < elements.size() ? elements[index] : Variant();
  if (index >= bytes.size() / size) return Variant();
  return VariantFromRaw(element_type, std::span(bytes).subspan(index * size, size));
}

Variant Variant::Null() {
  Variant v;
  v.type_ = varNull;
  return v;
}

Variant Variant::from_bool(bool b) {
  Variant v;
  v.type_ = varBoolean;
  v.int_ = b ? -1 : 0;
  return v;
}

Variant Variant::from_int16(std::int16_t i) { return make_int(varSmallint, i); }
Variant Variant::from_int32(std::int32_t i) { return make_int(varInteger, i); }
Variant Variant::from_int64(std::int64_t i) { return make_int(varInt64, i); }
Variant Variant::from_uint32(std::uint32_t i) { return make_int(varLongWord, i); }
Variant Variant::from_byte(std::uint8_t i) { return make_int(varByte, i); }
Variant Variant::from_ordinal(VarType type, std::int64_t i) { return make_int(type, i); }

Variant Variant::from_single(float f) {
  Variant v;
  v.type_ = varSingle;
  v.double_ = static_cast<double>(f);
  return v;
}

Variant Variant::from_double(double d) {
  Variant v;
  v.type_ = varDouble;
  v.double_ = d;
  return v;
}

Variant Variant::from_currency(Currency c) { return make_int(varCurrency, c.scaled); }

Variant Variant::from_date(TDateTime d) {
  Variant v;
  v.type_ = varDate;
  v.double_ = d.value;
  return v;
}

Variant Variant::from_string(UString s) {
  Variant v;
  v.type_ = varOleStr;
  v.text_ = std::move(s);
  return v;
}

Variant Variant::from_interface(std::shared_ptr<IInterface> i, VarType type) {
  Variant v;
  v.type_ = type;
  v.interface_ = std::move(i);
  return v;
}

Variant Variant::from_bytes(std::vector<std::uint8_t> bytes, std::int32_t low) {
  VariantArray array;
  array.element_type = varByte;
  array.bounds.push_back(
      ArrayBound{low, static_cast<std::int32_t>(std::int64_t{low} +
                                                static_cast<std::int64_t>(bytes.size()) - 1)});
  array.bytes = std::move(bytes);
  return from_array(std::move(array));
}

Variant Variant::from_array(VariantArray array) {
  Variant v;
  v.type_ = static_cast<VarType>(varArray | array.element_type);
  v.array_ = std::make_shared<const VariantArray>(std::move(array));
  return v;
}

Variant Variant::from_elements(std::vector<Variant> elements) {
  VariantArray array;
  array.element_type = varVariant;
  array.bounds.push_back(ArrayBound{0, static_cast<std::int32_t>(elements.size()) - 1});
  array.elements = std::move(elements);
  return from_array(std::move(array));
}

bool Variant::is_byte_array() const {
  return array_ && array_->element_type == varByte && array_->bounds.size() == 1;
}

std::span<const std::uint8_t> Variant::bytes() const {
  if (!array_ || array_->element_type != varByte) return {};
  return array_->bytes;
}

int Variant::dim_count() const { return array_ ? static_cast<int>(array_->bounds.size()) : 0; }

ArrayBound Variant::bound(int dimension) const {
  if (!array_ || dimension < 0 || dimension >= dim_count()) return {};
  return array_->bounds[static_cast<std::size_t>(dimension)];
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.type_ != b.type_ || a.int_ != b.int_ || a.text_ != b.text_ ||
      a.interface_ != b.interface_) {
    return false;
  }
  // Doubles compare by value, so that NaN payloads do not matter for equality of 0.0 and -0.0.
  if (!(a.double_ == b.double_) && !(a.double_ != a.double_ && b.double_ != b.double_)) {
    return false;
  }
  if (a.array_ == b.array_) return true;
  if (!a.array_ || !b.array_) return false;
  return a.array_->element_type == b.array_->element_type &&
         a.array_->bounds == b.array_->bounds && a.array_->bytes == b.array_->bytes &&
         a.array_->elements == b.array_->elements;
}

Variant Variant::make_int(VarType type, std::int64_t i) {
  Variant v;
  v.type_ = type;
  v.int_ = i;
  return v;
}

}  // namespace wardenix
