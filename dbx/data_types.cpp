#include "dbx/data_types.h"

namespace wardenix {

UString DataTypeName(std::int32_t data_type) {
  static constexpr const char16_t* kNames[] = {
      u"UNKNOWN",   u"ZSTRING",  u"DATE",       u"BLOB",      u"BOOL",       u"INT16",
      u"INT32",     u"DOUBLE",   u"BCD",        u"BYTES",     u"TIME",       u"DATETIME",
      nullptr,      u"UINT32",   nullptr,       u"VARBYTES",  nullptr,       u"CURSOR",
      u"INT64",     u"UINT64",   u"ADT",        u"ARRAY_TYPE", u"REF",       u"TABLE",
      u"TIMESTAMP", u"Currency", u"WideString", u"SINGLE",    u"INT8",       u"UINT8",
      nullptr,      nullptr,     nullptr,       nullptr,      nullptr,       u"Variant",
      u"TIMESTAMPOFFSET", u"JSON", nullptr};
  constexpr auto count = static_cast<std::int32_t>(sizeof kNames / sizeof kNames[0]);
  if (data_type >= 0 && data_type < count && kNames[data_type] != nullptr) {
    return u"TDBXTypes." + UString(kNames[data_type]);
  }
  return u"TDBXTypes.UNKNOWN(" + to_ustring(data_type) + u")";
}

namespace {

bool is_byte_type(std::int32_t data_type) {
  using namespace TDBXDataTypes;
  return data_type == BlobType || data_type == BytesType || data_type == VarBytesType ||
         data_type == AdtType || data_type == ArrayType;
}

}  // namespace

bool IsAnsiMemo(std::int32_t data_type, std::int32_t sub_type) {
  return is_byte_type(data_type) &&
         (sub_type == TDBXSubDataTypes::MemoSubType || sub_type == TDBXSubDataTypes::HMemoSubType);
}

bool IsWideMemo(std::int32_t data_type, std::int32_t sub_type) {
  return is_byte_type(data_type) && sub_type == TDBXSubDataTypes::WideMemoSubType;
}

bool IsStreamType(std::int32_t data_type, std::int32_t sub_type) {
  if (data_type == TDBXDataTypes::ObjectType || data_type == TDBXDataTypes::VariantType) return true;
  return is_byte_type(data_type) && !IsAnsiMemo(data_type, sub_type) &&
         !IsWideMemo(data_type, sub_type);
}

}  // namespace wardenix
