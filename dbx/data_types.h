#pragma once
// The codes that describe a parameter or column: data types, sub types,
// parameter directions and value-type flags, and the type names that error
// messages use.
#include <cstdint>

#include "runtime/ustring.h"

namespace wardenix {

namespace TDBXDataTypes {
inline constexpr std::int32_t UnknownType = 0;
inline constexpr std::int32_t AnsiStringType = 1;
inline constexpr std::int32_t DateType = 2;
inline constexpr std::int32_t BlobType = 3;
inline constexpr std::int32_t BooleanType = 4;
inline constexpr std::int32_t Int16Type = 5;
inline constexpr std::int32_t Int32Type = 6;
inline constexpr std::int32_t DoubleType = 7;
inline constexpr std::int32_t BcdType = 8;
inline constexpr std::int32_t BytesType = 9;
inline constexpr std::int32_t TimeType = 10;
inline constexpr std::int32_t DateTimeType = 11;
inline constexpr std::int32_t UInt32Type = 13;
inline constexpr std::int32_t VarBytesType = 15;
inline constexpr std::int32_t CursorType = 17;
inline constexpr std::int32_t Int64Type = 18;
inline constexpr std::int32_t UInt64Type = 19;
inline constexpr std::int32_t AdtType = 20;
inline constexpr std::int32_t ArrayType = 21;
inline constexpr std::int32_t RefType = 22;
inline constexpr std::int32_t TableType = 23;
inline constexpr std::int32_t TimeStampType = 24;
inline constexpr std::int32_t CurrencyType = 25;
inline constexpr std::int32_t WideStringType = 26;
inline constexpr std::int32_t SingleType = 27;
inline constexpr std::int32_t Int8Type = 28;
inline constexpr std::int32_t UInt8Type = 29;
inline constexpr std::int32_t ObjectType = 33;
inline constexpr std::int32_t DBXConnectionType = 34;
inline constexpr std::int32_t VariantType = 35;
inline constexpr std::int32_t TimeStampOffsetType = 36;
inline constexpr std::int32_t JsonValueType = 37;
inline constexpr std::int32_t CallbackType = 38;
}  // namespace TDBXDataTypes

namespace TDBXSubDataTypes {
inline constexpr std::int32_t MemoSubType = 22;
inline constexpr std::int32_t WideMemoSubType = 32;
inline constexpr std::int32_t HMemoSubType = 33;
}  // namespace TDBXSubDataTypes

namespace TDBXParameterDirections {
inline constexpr std::int32_t Unknown = 0;
inline constexpr std::int32_t InParameter = 1;
inline constexpr std::int32_t OutParameter = 2;
inline constexpr std::int32_t InOutParameter = 3;
inline constexpr std::int32_t ReturnParameter = 4;
}  // namespace TDBXParameterDirections

namespace TDBXValueTypeFlags {
inline constexpr std::int32_t Nullable = 0x01;
inline constexpr std::int32_t Hidden = 0x40;
inline constexpr std::int32_t FromServer = 0x80;
inline constexpr std::int32_t ValueParameter = 0x100;
inline constexpr std::int32_t Literal = 0x200;
}  // namespace TDBXValueTypeFlags

// "TDBXTypes." and the name of the code ("TDBXTypes.INT32"); a code without a
// name as "TDBXTypes.UNKNOWN(" the code ")".
UString DataTypeName(std::int32_t data_type);

// The 8-bit and the UTF-16 memo sub types of the byte types.
bool IsAnsiMemo(std::int32_t data_type, std::int32_t sub_type);
bool IsWideMemo(std::int32_t data_type, std::int32_t sub_type);
// The types whose values are byte streams, memo sub types excluded.
bool IsStreamType(std::int32_t data_type, std::int32_t sub_type);

}  // namespace wardenix
