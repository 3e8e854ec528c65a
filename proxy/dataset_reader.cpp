#include "proxy/dataset_reader.h"

#include <bit>
#include <cstring>

#include "dataset/packet_values.h"
#include "dbx/data_types.h"
#include "dbx/values.h"
#include "runtime/datetime.h"
#include "runtime/errors.h"

namespace wardenix {
namespace {

using namespace TDBXDataTypes;

// Day 1 of the packet's date integers is 0001-01-01; TDateTime counts from
// 1899-12-30, 693594 days later.
constexpr double kDateDelta = 693594.0;
constexpr double kMillisecondsPerDay = 86'400'000.0;

struct ColumnKind {
  std::int32_t data_type = UnknownType;
  std::int32_t sub_type = 0;
};

ColumnKind kind_of(const PacketColumn& column) {
  using namespace packet_type;
  if (column.is_member || is_array(column.type_word)) return {};
  const std::uint32_t size = column.size();
  switch (column.code()) {
    case kInteger:
      return {size == 1 ? Int8Type : size == 2 ? Int16Type : size == 4 ? Int32Type : Int64Type};
    case kUnsigned:
      return {size == 1 ? UInt8Type : size == 2 ? Int32Type : Int64Type};
    case kBoolean: return {BooleanType};
    case kFloat:
    case kSingle: return {DoubleType};
    case kBcd:
    case kFormattedBcd: return {BcdType};
    case kDate: return {DateType};
    case kTime: return {TimeType};
    case kDateTime:
    case kSqlTimestamp: return {TimeStampType};
    case kString: return {AnsiStringType};
    case kWideString: return {WideStringType};
    case kBytes:
    case kBytesAlias:
      if (equals_ascii_ci(from_utf8(column.subtype), u"Text")) {
        return {BlobType, TDBXSubDataTypes::MemoSubType};
      }
      if (equals_ascii_ci(from_utf8(column.subtype), u"WideText")) {
        return {BlobType, TDBXSubDataTypes::WideMemoSubType};
      }
      return {BlobType};
    default: return {};
  }
}

std::int64_t load_signed(std::span<const std::uint8_t> bytes) {
  std::uint64_t raw = 0;
  for (std::size_t i = bytes.size(); i-- > 0;) raw = (raw << 8) | bytes[i];
  const std::size_t bits = bytes.size() * 8;
  if (bits > 0 && bits < 64 && (raw >> (bits - 1)) != 0) raw |= ~std::uint64_t{0} << bits;
  return static_cast<std::int64_t>(raw);
}

std::uint64_t load_unsigned(std::span<const std::uint8_t> bytes) {
  std::uint64_t raw = 0;
  for (std::size_t i = bytes.size(); i-- > 0;) raw = (raw << 8) | bytes[i];
  return raw;
}

double load_double(std::span<const std::uint8_t> bytes) {
  if (bytes.size() == 10) return load_extended(bytes.data());
  if (bytes.size() == 4) return static_cast<double>(std::bit_cast<float>(load_le32(bytes.data())));
  if (bytes.size() < 8) return 0.0;
  return std::bit_cast<double>(load_le64(bytes.data()));
}

// A packed decimal: precision, sign bit and scale, then one digit per
// nibble, high nibble first.
UString bcd_text(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 2) return u"0";
  const int precision = std::min<int>(bytes[0], static_cast<int>(bytes.size() - 2) * 2);
  const int scale = std::min<int>(bytes[1] & 0x3F, precision);
  UString whole;
  UString fraction;
  for (int i = 0; i < precision; ++i) {
    const std::uint8_t pair = bytes[2 + static_cast<std::size_t>(i / 2)];
    const auto digit = static_cast<char16_t>(u'0' + ((i % 2 == 0 ? pair >> 4 : pair) & 0x0F) % 10);
    if (i < precision - scale) {
      if (!whole.empty() || digit != u'0') whole += digit;
    } else {
      fraction += digit;
    }
  }
  while (!fraction.empty() && fraction.back() == u'0') fraction.pop_back();
  if (whole.empty()) whole.push_back(u'0');
  UString text;
  if ((bytes[1] & 0x80) && (whole != u"0" || !fraction.empty())) text += u'-';
  text += whole;
  if (!fraction.empty()) {
    text += u'.';
    text += fraction;
  }
  return text;
}

}  // namespace

// Reads the values of the store's current row by the packet's encoding of
// each column; the dataset cannot be written through it.
class TDBXDataSetReader::Row final : public TDBXRow {
 public:
  void AddColumn(const PacketColumn& column, std::size_t descriptor) {
    columns_.push_back(&column);
    descriptors_.push_back(descriptor);
  }

  void Load(const RowView& view, std::size_t descriptor_count) {
    current_.assign(descriptor_count, RowValue{});
    view.visit([&](const RowValue& value) {
      if (value.column < current_.size() && current_[value.column].state == SlotState::Empty) {
        current_[value.column] = value;
      }
    });
    NextGeneration();
  }
  bool IsNull(const TDBXValueType& type) override {
    return type.DataType() == UnknownType || Slot(type).state != SlotState::Value;
  }
  bool GetBoolean(const TDBXValueType& type) override { return load_signed(Bytes(type)) != 0; }
  std::int64_t GetInt64(const TDBXValueType& type) override {
    if (Column(type).code() == packet_type::kUnsigned) {
      return static_cast<std::int64_t>(load_unsigned(Bytes(type)));
    }
    return load_signed(Bytes(type));
  }
  double GetDouble(const TDBXValueType& type) override { return load_double(Bytes(type)); }
  float GetSingle(const TDBXValueType& type) override {
    return static_cast<float>(load_double(Bytes(type)));
  }
  void GetDate(const TDBXValueType& type, int& year, int& month, int& day) override {
    const DateTimeParts parts =
        decode_date_time(TDateTime{static_cast<double>(load_signed(Bytes(type))) - kDateDelta});
    year = parts.year;
    month = parts.month;
    day = parts.day;
  }
  std::int32_t GetTime(const TDBXValueType& type) override {
    return static_cast<std::int32_t>(load_signed(Bytes(type)));
  }
  TSQLTimeStamp GetTimeStamp(const TDBXValueType& type) override {
    const auto bytes = Bytes(type);
    if (Column(type).code() == packet_type::kSqlTimestamp) {
      TSQLTimeStamp stamp;
      if (bytes.size() < 16) return stamp;
      stamp.year = static_cast<std::int16_t>(load_le16(bytes.data()));
      stamp.month = load_le16(bytes.data() + 2);
      stamp.day = load_le16(bytes.data() + 4);
      stamp.hour = load_le16(bytes.data() + 6);
      stamp.minute = load_le16(bytes.data() + 8);
      stamp.second = load_le16(bytes.data() + 10);
      stamp.fractions = load_le32(bytes.data() + 12);
      return stamp;
    }
    // Milliseconds since the start of day 1.
    return DateTimeToSQLTimeStamp(TDateTime{load_double(bytes) / kMillisecondsPerDay - kDateDelta});
  }
  UString GetString(const TDBXValueType& type) override {
    const auto bytes = Bytes(type);
    const std::uint32_t code = Column(type).code();
    if (code == packet_type::kBcd || code == packet_type::kFormattedBcd) return bcd_text(bytes);
    UString text;
    if (code == packet_type::kWideString) {
      for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) text += load_le16(bytes.data() + i);
    } else {
      for (const std::uint8_t byte : bytes) text += static_cast<char16_t>(byte);
    }
    // A fixed width is padded with zeros.
    if (!packet_type::is_varying(Column(type).type_word)) {
      const auto end = text.find(u'\0');
      if (end != UString::npos) text.resize(end);
    }
    return text;
  }
  std::unique_ptr<ByteSource> GetStream(const TDBXValueType& type) override {
    const auto bytes = Bytes(type);
    return std::make_unique<MemoryByteSource>(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  }

  void SetNull(const TDBXValueType&) override { ReadOnly(); }
  void SetBoolean(const TDBXValueType&, bool) override { ReadOnly(); }
  void SetInt32(const TDBXValueType&, std::int32_t) override { ReadOnly(); }
  void SetInt64(const TDBXValueType&, std::int64_t) override { ReadOnly(); }
  void SetDouble(const TDBXValueType&, double) override { ReadOnly(); }
  void SetSingle(const TDBXValueType&, float) override { ReadOnly(); }
  void SetDate(const TDBXValueType&, int, int, int) override { ReadOnly(); }
  void SetTime(const TDBXValueType&, std::int32_t) override { ReadOnly(); }
  void SetTimeStamp(const TDBXValueType&, const TSQLTimeStamp&) override { ReadOnly(); }
  void SetString(const TDBXValueType&, UStringView) override { ReadOnly(); }
  void SetBcd(const TDBXValueType&, UStringView) override { ReadOnly(); }
  void SetStream(const TDBXValueType&, std::span<const std::uint8_t>) override { ReadOnly(); }
  void SetReader(const TDBXValueType&, TDBXReader&) override { ReadOnly(); }

 private:
  [[noreturn]] static void ReadOnly() { throw TDBXError(27, u"Feature not implemented"); }
  static std::size_t Index(const TDBXValueType& type) { return static_cast<std::size_t>(type.Ordinal()); }
  const PacketColumn& Column(const TDBXValueType& type) const { return *columns_[Index(type)]; }
  const RowValue& Slot(const TDBXValueType& type) const {
    static const RowValue kNone;
    const std::size_t descriptor = descriptors_[Index(type)];
    return descriptor < current_.size() ? current_[descriptor] : kNone;
  }
  std::span<const std::uint8_t> Bytes(const TDBXValueType& type) const { return Slot(type).bytes; }

  // By ordinal: the column and its descriptor index in the table.
  std::vector<const PacketColumn*> columns_;
  std::vector<std::size_t> descriptors_;
  std::vector<RowValue> current_;  // by descriptor
};

TDBXDataSetReader::TDBXDataSetReader(TClientDataSet* dataset, bool instance_owner)
    : dataset_(dataset), instance_owner_(instance_owner), row_(std::make_unique<Row>()) {
  const DataStore* store = dataset_ ? dataset_->DSBase() : nullptr;
  if (!store || !store->HasMetadata()) return;
  const PacketTable& table = store->Table();
  const std::vector<TFieldDef>& defs = dataset_->FieldDefs();
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    const PacketColumn& packet_column = table.columns[i];
    if (packet_column.is_member) continue;
    const ColumnKind kind = kind_of(packet_column);
    auto column = std::make_unique<TDBXValueType>();
    column->SetName(i < defs.size() ? defs[i].Name : from_utf8(packet_column.name));
    column->SetOrdinal(static_cast<std::int32_t>(columns_.size()));
    column->SetDataType(kind.data_type);
    column->SetSubType(kind.sub_type);
    column->SetSize(packet_column.width.value_or(packet_column.size()));
    if (kind.data_type == BcdType) {
      column->SetPrecision(packet_column.size());
      column->SetScale(static_cast<std::int32_t>(packet_column.decimals.value_or(0)));
    }
    std::int32_t flags = 0;
    if (!(packet_column.attributes & column_attribute::kRequired)) flags |= TDBXValueTypeFlags::Nullable;
    if (packet_column.attributes & column_attribute::kHidden) flags |= TDBXValueTypeFlags::Hidden;
    column->SetValueTypeFlags(flags);
    column->SetParameterDirection(TDBXParameterDirections::InParameter);
    column->SetRow(row_.get());
    column->SetModified(false);
    row_->AddColumn(packet_column, i);
    columns_.push_back(std::move(column));
  }
  values_.resize(columns_.size());
}

TDBXDataSetReader::~TDBXDataSetReader() {
  values_.clear();
  if (instance_owner_) delete dataset_;
}

std::int32_t TDBXDataSetReader::ColumnCount() const {
  return static_cast<std::int32_t>(columns_.size());
}

TDBXValueType& TDBXDataSetReader::ValueType(std::int32_t ordinal) {
  if (ordinal < 0 || ordinal >= ColumnCount()) RaiseInvalidOrdinal(ordinal);
  return *columns_[static_cast<std::size_t>(ordinal)];
}

TDBXValue& TDBXDataSetReader::Value(std::int32_t ordinal) {
  TDBXValueType& type = ValueType(ordinal);
  auto& value = values_[static_cast<std::size_t>(ordinal)];
  if (!value) value = CreateValue(type);
  return *value;
}

bool TDBXDataSetReader::Next() {
  const DataStore* store = dataset_ ? dataset_->DSBase() : nullptr;
  if (!store || !store->HasMetadata() || next_row_ >= store->RowCount()) return false;
  row_->Load(store->Row(next_row_++), store->Table().columns.size());
  return true;
}

}  // namespace wardenix
