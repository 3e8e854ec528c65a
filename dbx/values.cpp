#include "dbx/values.h"

#include "dbx/data_types.h"
#include "dbx/reader.h"
#include "runtime/errors.h"
#include "runtime/variant_stream.h"

namespace wardenix {

using namespace TDBXDataTypes;

// ---- TDBXValue

TDBXValue::TDBXValue(TDBXValueType& value_type)
    : FValueType(value_type), FDbxRow(value_type.Row()) {}

void TDBXValue::Refresh() {
  if (!FDbxRow) return;
  const std::int32_t generation = FDbxRow->Generation();
  if (generation == FGeneration) return;
  const bool null = FDbxRow->IsNull(FValueType);
  if (!null) ReadFrom(*FDbxRow);
  FIsNull = null;
  FGeneration = generation;
}

void TDBXValue::ReadFrom(TDBXRow&) {}

void TDBXValue::MarkSet() {
  FIsNull = false;
  if (FDbxRow) FGeneration = FDbxRow->Generation();
}

bool TDBXValue::IsNull() {
  Refresh();
  return FIsNull;
}

void TDBXValue::SetNull() {
  FIsNull = true;
  if (FDbxRow) FGeneration = FDbxRow->Generation();
}

void TDBXValue::TypeError(UStringView accessor_type) const {
  throw TDBXError(7, format_message(u"%s value type cannot be accessed as %s value type",
                                    {FValueType.DataTypeName(), accessor_type}));
}

void TDBXValue::NotImplemented() const {
  if (const TDBXContext* context = FValueType.Context()) context->Error(27, u"Feature not implemented");
  throw TDBXError(27, u"Feature not implemented");
}

UString TDBXValue::GetWideString() { TypeError(DataTypeName(WideStringType)); }
void TDBXValue::SetWideString(UStringView) { TypeError(DataTypeName(WideStringType)); }
UString TDBXValue::GetAnsiString() { TypeError(DataTypeName(AnsiStringType)); }
void TDBXValue::SetAnsiString(UStringView) { TypeError(DataTypeName(AnsiStringType)); }
bool TDBXValue::GetBoolean() { TypeError(DataTypeName(BooleanType)); }
void TDBXValue::SetBoolean(bool) { TypeError(DataTypeName(BooleanType)); }
std::int8_t TDBXValue::GetInt8() { TypeError(DataTypeName(Int8Type)); }
void TDBXValue::SetInt8(std::int8_t) { TypeError(DataTypeName(Int8Type)); }
std::uint8_t TDBXValue::GetUInt8() { TypeError(DataTypeName(UInt8Type)); }
void TDBXValue::SetUInt8(std::uint8_t) { TypeError(DataTypeName(UInt8Type)); }
std::int16_t TDBXValue::GetInt16() { TypeError(DataTypeName(Int16Type)); }
void TDBXValue::SetInt16(std::int16_t) { TypeError(DataTypeName(Int16Type)); }
std::int32_t TDBXValue::GetInt32() { TypeError(DataTypeName(Int32Type)); }
void TDBXValue::SetInt32(std::int32_t) { TypeError(DataTypeName(Int32Type)); }
std::int64_t TDBXValue::GetInt64() { TypeError(DataTypeName(Int64Type)); }
void TDBXValue::SetInt64(std::int64_t) { TypeError(DataTypeName(Int64Type)); }
double TDBXValue::GetDouble() { TypeError(DataTypeName(DoubleType)); }
void TDBXValue::SetDouble(double) { TypeError(DataTypeName(DoubleType)); }
float TDBXValue::GetSingle() { TypeError(DataTypeName(SingleType)); }
void TDBXValue::SetSingle(float) { TypeError(DataTypeName(SingleType)); }
UString TDBXValue::GetBcd() { TypeError(DataTypeName(BcdType)); }
void TDBXValue::SetBcd(UStringView) { TypeError(DataTypeName(BcdType)); }
TSQLTimeStamp TDBXValue::GetTimeStamp() { TypeError(DataTypeName(TimeStampType)); }
void TDBXValue::SetTimeStamp(const TSQLTimeStamp&) { TypeError(DataTypeName(TimeStampType)); }
TDateTime TDBXValue::GetAsDateTime() { NotImplemented(); }
void TDBXValue::SetAsDateTime(TDateTime) { TypeError(DataTypeName(TimeStampType)); }
void TDBXValue::SetAsCurrency(Currency) { TypeError(DataTypeName(BcdType)); }
void TDBXValue::SetAsVariant(const Variant&) { TypeError(DataTypeName(BytesType)); }
std::vector<std::uint8_t> TDBXValue::GetBytes() { TypeError(DataTypeName(BytesType)); }
void TDBXValue::SetBytes(std::span<const std::uint8_t>) { TypeError(DataTypeName(BytesType)); }
void TDBXValue::SetDBXReader(TDBXReader*, bool) { TypeError(DataTypeName(TableType)); }
TDBXReader* TDBXValue::GetDBXReader() { TypeError(DataTypeName(TableType)); }
std::string TDBXValue::GetJsonText() { TypeError(DataTypeName(JsonValueType)); }
void TDBXValue::SetJsonText(std::string_view) { TypeError(DataTypeName(JsonValueType)); }
void TDBXValue::SetCallbackValue(std::shared_ptr<TDBXCallback>) {
  TypeError(DataTypeName(CallbackType));
}
std::shared_ptr<TDBXCallback> TDBXValue::GetCallbackValue() { TypeError(DataTypeName(CallbackType)); }
void TDBXValue::WriteTo(TDBXRow&) { NotImplemented(); }

Variant TDBXValue::GetAsVariant() {
  if (IsNull()) return Variant::Null();
  TypeError(DataTypeName(BytesType));
}

// ---- TDBXWritableValue

void TDBXWritableValue::SetNull() {
  TDBXValue::SetNull();
  FSetPending = true;
}

void TDBXWritableValue::MarkSet() {
  TDBXValue::MarkSet();
  FSetPending = true;
}

// ---- texts

UString TDBXAnsiStringValue::GetAnsiString() {
  Refresh();
  return FValue;
}
void TDBXAnsiStringValue::SetAnsiString(UStringView value) {
  FValue = UString(value);
  MarkSet();
}
void TDBXAnsiStringValue::ReadFrom(TDBXRow& row) { FValue = row.GetString(ValueType()); }
void TDBXAnsiStringValue::WriteTo(TDBXRow& row) { row.SetString(ValueType(), FValue); }

UString TDBXWideStringValue::GetWideString() {
  Refresh();
  return FValue;
}
void TDBXWideStringValue::SetWideString(UStringView value) {
  FValue = UString(value);
  MarkSet();
}
void TDBXWideStringValue::SetAsCurrency(Currency value) { SetWideString(CurrencyToDecimalText(value)); }
void TDBXWideStringValue::ReadFrom(TDBXRow& row) { FValue = row.GetString(ValueType()); }
void TDBXWideStringValue::WriteTo(TDBXRow& row) { row.SetString(ValueType(), FValue); }

// ---- Boolean and numbers

bool TDBXBooleanValue::GetBoolean() {
  Refresh();
  return FValue;
}
void TDBXBooleanValue::SetBoolean(bool value) {
  FValue = value;
  MarkSet();
}
void TDBXBooleanValue::ReadFrom(TDBXRow& row) { FValue = row.GetBoolean(ValueType()); }
void TDBXBooleanValue::WriteTo(TDBXRow& row) { row.SetBoolean(ValueType(), FValue); }

std::int64_t TDBXIntegerValue::Get() {
  Refresh();
  return FValue;
}
void TDBXIntegerValue::Set(std::int64_t value) {
  FValue = value;
  MarkSet();
}
void TDBXIntegerValue::ReadFrom(TDBXRow& row) { FValue = row.GetInt64(ValueType()); }
void TDBXIntegerValue::WriteTo(TDBXRow& row) {
  if (ValueType().DataType() == Int64Type) {
    row.SetInt64(ValueType(), FValue);
  } else {
    row.SetInt32(ValueType(), static_cast<std::int32_t>(FValue));
  }
}

std::int32_t TDBXInt32Value::GetInt32() {
  Refresh();
  return FValue;
}
void TDBXInt32Value::SetInt32(std::int32_t value) {
  FValue = value;
  MarkSet();
}
void TDBXInt32Value::SetAsCurrency(Currency value) {
  SetInt32(static_cast<std::int32_t>(value.scaled / 10000));
}
void TDBXInt32Value::ReadFrom(TDBXRow& row) {
  FValue = static_cast<std::int32_t>(row.GetInt64(ValueType()));
}
void TDBXInt32Value::WriteTo(TDBXRow& row) { row.SetInt32(ValueType(), FValue); }

double TDBXDoubleValue::GetDouble() {
  Refresh();
  return FValue;
}
void TDBXDoubleValue::SetDouble(double value) {
  FValue = value;
  MarkSet();
}
void TDBXDoubleValue::SetAsCurrency(Currency value) { SetDouble(value.to_double()); }
void TDBXDoubleValue::ReadFrom(TDBXRow& row) { FValue = row.GetDouble(ValueType()); }
void TDBXDoubleValue::WriteTo(TDBXRow& row) {
  // A double parameter of the single sub type travels in the single form.
  if (ValueType().SubType() == SingleType) {
    row.SetSingle(ValueType(), static_cast<float>(FValue));
  } else {
    row.SetDouble(ValueType(), FValue);
  }
}

float TDBXSingleValue::GetSingle() {
  Refresh();
  return FValue;
}
void TDBXSingleValue::SetSingle(float value) {
  FValue = value;
  MarkSet();
}
void TDBXSingleValue::ReadFrom(TDBXRow& row) { FValue = row.GetSingle(ValueType()); }
void TDBXSingleValue::WriteTo(TDBXRow& row) { row.SetSingle(ValueType(), FValue); }

UString TDBXBcdValue::GetBcd() {
  Refresh();
  return FValue;
}
void TDBXBcdValue::SetBcd(UStringView decimal_text) {
  FValue = UString(decimal_text);
  MarkSet();
}
void TDBXBcdValue::SetAsCurrency(Currency value) { SetBcd(CurrencyToDecimalText(value)); }
void TDBXBcdValue::ReadFrom(TDBXRow& row) { FValue = row.GetString(ValueType()); }
void TDBXBcdValue::WriteTo(TDBXRow& row) { row.SetBcd(ValueType(), FValue); }

// ---- dates and times

TDateTime TDBXDateValue::GetAsDateTime() {
  Refresh();
  return encode_date_time(DateTimeParts{FYear, FMonth, FDay, 0, 0, 0, 0});
}
void TDBXDateValue::SetAsDateTime(TDateTime value) {
  const DateTimeParts parts = decode_date_time(value);
  FYear = parts.year;
  FMonth = parts.month;
  FDay = parts.day;
  MarkSet();
}
void TDBXDateValue::ReadFrom(TDBXRow& row) { row.GetDate(ValueType(), FYear, FMonth, FDay); }
void TDBXDateValue::WriteTo(TDBXRow& row) { row.SetDate(ValueType(), FYear, FMonth, FDay); }

TDateTime TDBXTimeValue::GetAsDateTime() {
  Refresh();
  return TDateTime{static_cast<double>(FMilliseconds) / 86'400'000.0};
}
void TDBXTimeValue::SetAsDateTime(TDateTime value) {
  const DateTimeParts parts = decode_date_time(value);
  FMilliseconds = ((parts.hour * 60 + parts.minute) * 60 + parts.second) * 1000 + parts.millisecond;
  MarkSet();
}
void TDBXTimeValue::ReadFrom(TDBXRow& row) { FMilliseconds = row.GetTime(ValueType()); }
void TDBXTimeValue::WriteTo(TDBXRow& row) { row.SetTime(ValueType(), FMilliseconds); }

TSQLTimeStamp TDBXTimeStampValue::GetTimeStamp() {
  Refresh();
  return FValue;
}
void TDBXTimeStampValue::SetTimeStamp(const TSQLTimeStamp& value) {
  FValue = value;
  MarkSet();
}
TDateTime TDBXTimeStampValue::GetAsDateTime() {
  const TSQLTimeStamp stamp = GetTimeStamp();
  if (stamp == TSQLTimeStamp{}) return TDateTime{0.0};  // never held a timestamp
  return encode_date_time(DateTimeParts{stamp.year, stamp.month, stamp.day, stamp.hour,
                                        stamp.minute, stamp.second,
                                        static_cast<int>(stamp.fractions)});
}
void TDBXTimeStampValue::SetAsDateTime(TDateTime value) { SetTimeStamp(DateTimeToSQLTimeStamp(value)); }
void TDBXTimeStampValue::ReadFrom(TDBXRow& row) { FValue = row.GetTimeStamp(ValueType()); }
void TDBXTimeStampValue::WriteTo(TDBXRow& row) { row.SetTimeStamp(ValueType(), FValue); }

// ---- bytes and streams

std::unique_ptr<ByteSource> TDBXByteArrayValue::TakeStream() { return std::move(FStream); }

std::vector<std::uint8_t> TDBXByteArrayValue::GetBytes() {
  Refresh();
  if (HeldNull()) return {};
  if (auto stream = TakeStream()) FBytes = ReadAll(*stream);
  return FBytes;
}
void TDBXByteArrayValue::SetBytes(std::span<const std::uint8_t> value) {
  FStream.reset();
  FBytes.assign(value.begin(), value.end());
  MarkSet();
}
void TDBXByteArrayValue::ReadFrom(TDBXRow& row) {
  FBytes.clear();
  FStream = row.GetStream(ValueType());
}
void TDBXByteArrayValue::WriteTo(TDBXRow& row) {
  if (auto stream = TakeStream()) FBytes = ReadAll(*stream);
  row.SetStream(ValueType(), FBytes);
}

Variant TDBXStreamValue::GetAsVariant() {
  Refresh();
  if (HeldNull()) return Variant::Null();
  if (!FDecoded) {
    // The stream is decoded straight from the row, without a copy.
    if (auto stream = TakeStream()) {
      FDecoded = ReadOleVariant(*stream);
    } else {
      FDecoded = ReadOleVariant(std::span<const std::uint8_t>(Held()));
    }
  }
  return *FDecoded;
}
void TDBXStreamValue::SetAsVariant(const Variant& value) {
  if (value.is_null()) {
    SetNull();
    return;
  }
  SetBytes(WriteOleVariant(value));
}
void TDBXStreamValue::ReadFrom(TDBXRow& row) {
  FDecoded.reset();
  TDBXByteArrayValue::ReadFrom(row);
}
void TDBXStreamValue::MarkSet() {
  FDecoded.reset();
  TDBXByteArrayValue::MarkSet();
}

// ---- readers

TDBXReaderValue::~TDBXReaderValue() = default;

void TDBXReaderValue::Release() {
  FOwnedReader.reset();
  FReader = nullptr;
}
void TDBXReaderValue::SetNull() {
  Release();
  TDBXWritableValue::SetNull();
  if (TDBXRow* row = ValueType().Row()) FSetGeneration = row->Generation();
}
void TDBXReaderValue::SetDBXReader(TDBXReader* reader, bool owns_reader) {
  if (!reader) {
    SetNull();
    return;
  }
  if (reader == FReader) {
    (void)FOwnedReader.release();  // the same reader: owned as told now
  } else {
    Release();
  }
  FReader = reader;
  if (owns_reader) FOwnedReader.reset(reader);
  MarkSet();
  if (TDBXRow* row = ValueType().Row()) FSetGeneration = row->Generation();
}
TDBXReader* TDBXReaderValue::GetDBXReader() {
  Refresh();
  TDBXRow* row = ValueType().Row();
  if (row && row->Generation() != FSetGeneration) {
    if (TDBXReader* attached = row->GetReader(ValueType())) return attached;
  }
  return FReader;
}
void TDBXReaderValue::WriteTo(TDBXRow& row) { row.SetReader(ValueType(), *FReader); }

std::string TDBXJsonValue::GetJsonText() {
  Refresh();
  return FValue;
}
void TDBXJsonValue::SetJsonText(std::string_view json_text) {
  FValue = std::string(json_text);
  MarkSet();
}
void TDBXJsonValue::ReadFrom(TDBXRow& row) { FValue = row.GetJson(ValueType()); }
void TDBXJsonValue::WriteTo(TDBXRow& row) { row.SetJson(ValueType(), FValue); }

void TDBXCallbackValue::SetNull() {
  FCallback.reset();
  TDBXWritableValue::SetNull();
}
void TDBXCallbackValue::SetCallbackValue(std::shared_ptr<TDBXCallback> callback) {
  if (!callback) {
    SetNull();
    return;
  }
  FCallback = std::move(callback);
  MarkSet();
}
void TDBXCallbackValue::WriteTo(TDBXRow& row) { row.SetCallback(ValueType(), FCallback != nullptr); }

// ---- creation

std::unique_ptr<TDBXValue> CreateValue(TDBXValueType& type) {
  const std::int32_t data_type = type.DataType();
  if (data_type == UnknownType) return std::make_unique<TDBXNullValue>(type);
  if (TDBXRow* row = type.Row()) {
    if (auto own = row->CreateCustomValue(type)) return own;
  }
  switch (data_type) {
    case AnsiStringType: return std::make_unique<TDBXAnsiStringValue>(type);
    case DateType: return std::make_unique<TDBXDateValue>(type);
    case BlobType:
    case BytesType:
    case VarBytesType:
    case AdtType:
    case ArrayType:
      if (IsAnsiMemo(data_type, type.SubType())) return std::make_unique<TDBXAnsiStringValue>(type);
      if (IsWideMemo(data_type, type.SubType())) return std::make_unique<TDBXWideStringValue>(type);
      return std::make_unique<TDBXStreamValue>(type);
    case BooleanType: return std::make_unique<TDBXBooleanValue>(type);
    case Int16Type: return std::make_unique<TDBXInt16Value>(type);
    case Int32Type: return std::make_unique<TDBXInt32Value>(type);
    case DoubleType: return std::make_unique<TDBXDoubleValue>(type);
    case BcdType:
    case CurrencyType: return std::make_unique<TDBXBcdValue>(type);
    case TimeType: return std::make_unique<TDBXTimeValue>(type);
    case DateTimeType:
    case TimeStampType: return std::make_unique<TDBXTimeStampValue>(type);
    case Int64Type: return std::make_unique<TDBXInt64Value>(type);
    case TableType: return std::make_unique<TDBXReaderValue>(type);
    case WideStringType: return std::make_unique<TDBXWideStringValue>(type);
    case SingleType: return std::make_unique<TDBXSingleValue>(type);
    case Int8Type: return std::make_unique<TDBXInt8Value>(type);
    case UInt8Type: return std::make_unique<TDBXUInt8Value>(type);
    case ObjectType:
    case VariantType: return std::make_unique<TDBXStreamValue>(type);
    case CursorType:
    case DBXConnectionType:
    case TimeStampOffsetType:
    case JsonValueType: return std::make_unique<TDBXJsonValue>(type);
    case CallbackType: return std::make_unique<TDBXCallbackValue>(type);
    default: break;
  }
  const UString message = u"Unexpected data type " + to_ustring(data_type);
  if (const TDBXContext* context = type.Context()) context->Error(3, message);
  throw TDBXError(3, message);
}

TSQLTimeStamp DateTimeToSQLTimeStamp(TDateTime value) {
  const DateTimeParts parts = decode_date_time(value);
  return ToSQLTimeStamp(parts, static_cast<std::uint32_t>(parts.millisecond));
}

UString CurrencyToDecimalText(Currency value) {
  const bool negative = value.scaled < 0;
  const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value.scaled)
                                           : static_cast<std::uint64_t>(value.scaled);
  UString text = negative ? u"-" : u"";
  text += to_ustring_unsigned(magnitude / 10000);
  std::uint64_t fraction = magnitude % 10000;
  if (fraction != 0) {
    UString digits = to_ustring_unsigned(fraction);
    digits.insert(0, 4 - digits.size(), u'0');
    while (digits.back() == u'0') digits.pop_back();
    text += u'.';
    text += digits;
  }
  return text;
}

// ---- TDBXRow: what a row without these kinds of value does

namespace {

[[noreturn]] void raise_not_implemented() { throw TDBXError(27, u"Feature not implemented"); }

}  // namespace

std::unique_ptr<TDBXValue> TDBXRow::CreateCustomValue(TDBXValueType&) { return nullptr; }

void TDBXRow::SetCallback(const TDBXValueType&, bool) { raise_not_implemented(); }

void TDBXRow::SetJson(const TDBXValueType&, std::string_view) { raise_not_implemented(); }

std::string TDBXRow::GetJson(const TDBXValueType&) { raise_not_implemented(); }

TDBXReader* TDBXRow::GetReader(const TDBXValueType&) { return nullptr; }

// ---- TDBXReader

std::int32_t TDBXReader::GetOrdinal(UStringView name) {
  for (std::int32_t i = 0; i < ColumnCount(); ++i) {
    if (equals_ascii_ci(ValueType(i).Name(), name)) return i;
  }
  return -1;
}

void RaiseInvalidOrdinal(std::int32_t ordinal) {
  throw TDBXError(8, u"Invalid Ordinal:  " + to_ustring(ordinal));
}

}  // namespace wardenix
