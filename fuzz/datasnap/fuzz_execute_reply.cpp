// A server-method command over arbitrary server bytes: the reply to its
// preparation, then the replies to its executions with the server's own
// requests (next, more_blob, callback) among them, the tables of the
// replies attached to table parameters or returned, their rows fetched with
// "next", and next_result. The command sends an input table and has a
// callback whenever the server describes such parameters.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "datasnap/client_command.h"
#include "dbx/data_types.h"
#include "dbx/dbx_connection.h"
#include "dbx/values.h"
#include "runtime/errors.h"
#include "tests/wire/memory_channel.h"

using namespace wardenix;
using namespace wardenix::TDBXDataTypes;

namespace {

class FuzzConnection final : public TDBXConnection {
 public:
  DatabaseMetaData ReadDatabaseMetaData() override { return {}; }
  void Close() override {}
};

// Three rows of one text column, the second too long for a block's row.
class TextRows final : public TDBXReader {
 public:
  TextRows() {
    type_.SetName(u"Texto");
    type_.SetDataType(WideStringType);
    value_ = CreateValue(type_);
  }
  std::int32_t ColumnCount() const override { return 1; }
  TDBXValueType& ValueType(std::int32_t) override { return type_; }
  TDBXValue& Value(std::int32_t) override { return *value_; }
  bool Next() override {
    if (row_ == 3) return false;
    value_->SetWideString(UString(row_ == 1 ? 3000 : 10, static_cast<char16_t>(u'a' + row_)));
    ++row_;
    return true;
  }

 private:
  TDBXValueType type_;
  std::unique_ptr<TDBXValue> value_;
  int row_ = 0;
};

class Echo final : public TDBXCallback {
 public:
  std::optional<std::string> Execute(std::string_view argument) override {
    if (argument.size() % 3 == 0) throw TDBXError(7, u"recusado");
    if (argument.size() % 3 == 1) return std::nullopt;
    return std::string(argument);
  }
};

void touch(TDBXValue& value) {
  try {
    switch (value.ValueType().DataType()) {
      case WideStringType: value.GetWideString(); break;
      case AnsiStringType: value.GetAnsiString(); break;
      case Int32Type: value.GetInt32(); break;
      case BooleanType: value.GetBoolean(); break;
      case DoubleType: value.GetDouble(); break;
      case BcdType:
      case CurrencyType: value.GetBcd(); break;
      case DateType:
      case TimeType:
      case TimeStampType: value.GetAsDateTime(); break;
      case BlobType:
      case BytesType:
      case VarBytesType: value.GetBytes(); break;
      case VariantType: value.GetAsVariant(); break;
      default: value.IsNull(); break;
    }
  } catch (const Exception&) {
  }
}

void drain(TDBXReader* reader) {
  if (!reader) return;
  for (int row = 0; row < 256 && reader->Next(); ++row) {
    for (std::int32_t i = 0; i < reader->ColumnCount(); ++i) touch(reader->Value(i));
  }
}

void set_inputs(TDBXCommand& command, TextRows& rows) {
  TDBXParameterList& parameters = command.GetParameters();
  for (std::int32_t i = 0; i < parameters.Count(); ++i) {
    TDBXParameter& parameter = parameters[i];
    const std::int32_t direction = parameter.ParameterDirection();
    if (direction == 2 || direction == 4) continue;
    try {
      TDBXValue& value = parameter.Value();
      switch (parameter.DataType()) {
        case TableType: value.SetDBXReader(&rows, false); break;
        case CallbackType: value.SetCallbackValue(std::make_shared<Echo>()); break;
        case WideStringType: value.SetWideString(UString(2000, u'w')); break;
        case Int32Type: value.SetInt32(-5); break;
        default: value.SetNull(); break;
      }
    } catch (const Exception&) {
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t piece = data[0] % 64 + 1;
  const std::uint8_t style = data[1];
  auto channel = std::make_unique<test::MemoryChannel>(
      std::string(reinterpret_cast<const char*>(data + 2), size - 2), piece);
  FuzzConnection connection;
  auto wire = std::make_shared<TDBXJSonClientOutputConnectionHandler>(
      std::move(channel), 4096 + (style >> 4) * 1024, connection.Context(), 1u << 20);
  TextRows rows;
  {
    TDBXClientCommand command(wire, connection, 1);
    command.SetCommandType(kServerMethodCommandType);
    command.SetText(u"TdtmPrincipal._Fuzz");
    try {
      if (style & 1) command.Prepare();
      set_inputs(command, rows);
    } catch (const Exception&) {
    }
    for (int round = 0; round < 3; ++round) {
      try {
        drain(command.ExecuteQuery());
        TDBXParameterList& parameters = command.GetParameters();
        for (std::int32_t i = 0; i < parameters.Count(); ++i) {
          TDBXValue& value = parameters[i].Value();
          if (parameters[i].DataType() == TableType) {
            drain(value.GetDBXReader());
          } else {
            touch(value);
          }
        }
        if (style & 2) drain(command.GetNextReader());
      } catch (const Exception&) {
      }
    }
  }
  return 0;
}
