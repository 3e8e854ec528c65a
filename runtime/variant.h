#pragma once
// Variant: a tagged value in the model of OLE variants. Unassigned (varEmpty)
// and Null (varNull) are distinct states; arrays hold their bounds, and
// arrays of numbers, dates and booleans keep their elements in one
// contiguous block of raw memory.
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "runtime/currency.h"
#include "runtime/datetime.h"
#include "runtime/ustring.h"

namespace wardenix {

// Variant type codes, as the OLE variant stream numbers them.
enum VarType : std::uint16_t {
  varEmpty = 0x0000,
  varNull = 0x0001,
  varSmallint = 0x0002,
  varInteger = 0x0003,
  varSingle = 0x0004,
  varDouble = 0x0005,
  varCurrency = 0x0006,
  varDate = 0x0007,
  varOleStr = 0x0008,
  varDispatch = 0x0009,
  varError = 0x000A,
  varBoolean = 0x000B,
  varVariant = 0x000C,
  varUnknown = 0x000D,
  varShortInt = 0x0010,
  varByte = 0x0011,
  varWord = 0x0012,
  varLongWord = 0x0013,
  varInt64 = 0x0014,
  varUInt64 = 0x0015,
  varTypeMask = 0x0FFF,
  varArray = 0x2000,
  varByRef = 0x4000,
};

// Base of the interfaces a variant can hold (varDispatch / varUnknown).
class IInterface {
 public:
  virtual ~IInterface() = default;
};

struct ArrayBound {
  std::int32_t low = 0;
  std::int32_t high = -1;
  std::int64_t extent() const { return std::int64_t{high} - low + 1; }
  friend bool operator==(ArrayBound, ArrayBound) = default;
};

class Variant;

// Bytes of one element of an array whose elements are kept raw: the
// fixed-size types (integers of 8 to 32 bits, single, double, currency, date
// and boolean); 0 for every other element type.
std::size_t RawElementSize(VarType element_type);

// The contents of an array variant, elements in row-major order (the last
// index varying fastest). Element types with a raw size keep their elements'
// little-endian memory in `bytes`, as an OLE safe array holds them, so that an
// array costs what its data does; every other element type (variants,
// strings, error codes) keeps one Variant per element in `elements`.
struct VariantArray {
  VarType element_type = varVariant;
  std::vector<ArrayBound> bounds;
  std::vector<std::uint8_t> bytes;
  std::vector<Variant> elements;

  // How many elements the bounds describe.
  std::uint64_t count() const;
  // Element `index` (row-major) as a variant of its own, however it is kept.
  Variant element(std::size_t index) const;
};

// A value of a type with a raw size, from its RawElementSize bytes of
// little-endian memory; unassigned for any other type.
Variant VariantFromRaw(VarType type, std::span<const std::uint8_t> raw);

class Variant {
 public:
  Variant() = default;  // unassigned
  static Variant Null();
  static Variant from_bool(bool v);
  static Variant from_int16(std::int16_t v);
  static Variant from_int32(std::int32_t v);
  static Variant from_int64(std::int64_t v);
  static Variant from_uint32(std::uint32_t v);
  static Variant from_byte(std::uint8_t v);
  // An integer of any ordinal type, such as varShortInt, varWord or varError.
  static Variant from_ordinal(VarType type, std::int64_t v);
  static Variant from_single(float v);
  static Variant from_double(double v);
  static Variant from_currency(Currency v);
  static Variant from_date(TDateTime v);
  static Variant from_string(UString v);
  static Variant from_interface(std::shared_ptr<IInterface> v, VarType type = varDispatch);
  // A one-dimensional byte array indexed from `low`.
  static Variant from_bytes(std::vector<std::uint8_t> bytes, std::int32_t low = 0);
  static Variant from_array(VariantArray array);
  // A one-dimensional array of variants indexed from 0.
  static Variant from_elements(std::vector<Variant> elements);

  VarType type() const { return type_; }
  bool is_empty() const { return type_ == varEmpty; }
  bool is_null() const { return type_ == varNull; }
  bool is_array() const { return (type_ & varArray) != 0; }
  bool is_byte_array() const;

  // Accessors for the stored representation; they do not convert.
  bool as_bool() const { return int_ != 0; }
  std::int64_t as_int64() const { return int_; }
  double as_double() const { return double_; }
  Currency as_currency() const { return Currency{int_}; }
  TDateTime as_date() const { return TDateTime{double_}; }
  const UString& as_string() const { return text_; }
  const std::shared_ptr<IInterface>& as_interface() const { return interface_; }
  const VariantArray* array() const { return array_.get(); }
  // Bytes of a byte array; empty for any other variant.
  std::span<const std::uint8_t> bytes() const;
  // Dimensions and bounds of an array (0 and {} for a non-array).
  int dim_count() const;
  ArrayBound bound(int dimension) const;

  friend bool operator==(const Variant& a, const Variant& b);

 private:
  static Variant make_int(VarType type, std::int64_t value);

  VarType type_ = varEmpty;
  std::int64_t int_ = 0;
  double double_ = 0.0;
  UString text_;
  std::shared_ptr<IInterface> interface_;
  // Arrays are shared between copies and never changed after construction.
  std::shared_ptr<const VariantArray> array_;
};

}  // namespace wardenix
