#include "trialserver/server_methods.h"

#include <algorithm>

#include "datasnap/variant_stream.h"
#include "runtime/variant.h"
#include "trialserver/catalogue_methods.h"
#include "trialserver/method_list.h"
#include "trialserver/versao_table.h"

namespace wardenix::trial {
namespace {

constexpr std::int32_t kIn = 1;
constexpr std::int32_t kInOut = 3;
constexpr std::int32_t kReturn = 4;
// Options of AS_GetRecords.
constexpr std::int32_t kResetOption = 2;

ParameterSpec text_parameter(UString name, std::int32_t direction = kIn) {
  return {dbx_type::kWideString, 0, direction, 0, 0, std::move(name), 0, 0};
}
ParameterSpec int_parameter(UString name, std::int32_t direction = kIn) {
  return {dbx_type::kInt32, 0, direction, 10, 0, std::move(name), 4, 0};
}
ParameterSpec variant_parameter(UString name, std::int32_t direction) {
  return {dbx_type::kVariant, 0, direction, 0, 0, std::move(name), 0, 0};
}

bool is_versao_query(UStringView sql) {
  return equals_ascii_ci(trim(sql), kVersaoQuery);
}

UString read_text(TDBXRowBuffer& row, std::int32_t ordinal) {
  return row.GetNull(ordinal) ? UString() : row.ReadString(ordinal);
}

std::int32_t read_int(TDBXRowBuffer& row, std::int32_t ordinal) {
  return row.GetNull(ordinal) ? 0 : row.ReadInt32(ordinal);
}

// Writes a stream value; what does not fit stays in `result.rest`.
void write_stream(TDBXRowBuffer& out, std::int32_t ordinal, std::vector<std::uint8_t> bytes,
                  MethodResult& result) {
  auto source = std::make_unique<MemoryByteSource>(std::move(bytes));
  out.WriteBytes(*source);
  if (!source->AtEnd()) result.rest[ordinal] = std::move(source);
}

void write_text(TDBXRowBuffer& out, std::int32_t ordinal, UStringView text, MethodResult& result) {
  if (auto rest = out.WriteString(text)) result.rest[ordinal] = std::move(rest);
}

// An input or input/output variant goes back as the client sent it.
void echo_stream(TDBXRowBuffer& in, TDBXRowBuffer& out, std::int32_t ordinal,
                 MethodResult& result) {
  const auto source = in.ReadBytes(ordinal);
  if (!source) {
    out.WriteNull();
    return;
  }
  write_stream(out, ordinal, ReadAll(*source), result);
}

MethodResult failure(UString name, UString message) {
  MethodResult result;
  result.error = ServerError{std::move(name), 0, std::move(message)};
  return result;
}

MethodResult run_consultas(const MethodCall& call) {
  TDBXRowBuffer& in = *call.input;
  const UString sql = read_text(in, 0);
  if (!is_versao_query(sql)) {
    return failure(u"EConsultaInvalida", u"Consulta n\u00E3o dispon\u00EDvel: " + sql);
  }
  MethodResult result;
  TDBXRowBuffer out(call.buffer_size, false, true);
  write_text(out, 0, sql, result);
  if (call.null_consultas || !call.packet_stream) {
    out.WriteNull();
  } else {
    write_stream(out, 1, *call.packet_stream, result);
  }
  result.row.assign(out.Written().begin(), out.Written().end());
  return result;
}

MethodResult run_get_records(const MethodCall& call) {
  TDBXRowBuffer& in = *call.input;
  const UString provider = read_text(in, 0);
  if (provider != kProviderName) {
    return failure(u"EProviderNaoEncontrado", u"Provider n\u00E3o encontrado: " + provider);
  }
  const std::int32_t count = read_int(in, 1);
  const std::int32_t options = read_int(in, 3);
  const UString command_text = read_text(in, 4);

  MethodResult result;
  TDBXRowBuffer out(call.buffer_size, false, true);
  write_text(out, 0, provider, result);
  out.WriteInt32(count);
  const bool reset = count == 0 && (options & kResetOption) != 0;
  // Count -1 asks for every row, any other count for at most that many.
  const std::uint32_t rows =
      reset ? 0
            : (count < 0 ? call.version_rows
                         : std::min(call.version_rows, static_cast<std::uint32_t>(count)));
  out.WriteInt32(static_cast<std::int32_t>(rows));
  out.WriteInt32(options);
  write_text(out, 4, command_text, result);
  echo_stream(in, out, 5, result);
  echo_stream(in, out, 6, result);
  if (reset) {
    out.WriteNull();
  } else if (rows == call.version_rows && call.packet_stream) {
    write_stream(out, 7, *call.packet_stream, result);
  } else {
    write_stream(out, 7, WriteOleVariant(Variant::from_bytes(versao_packet(rows))), result);
  }
  result.row.assign(out.Written().begin(), out.Written().end());
  return result;
}

}  // namespace

std::optional<CommandKind> FindCommand(UStringView type, UStringView text) {
  if (type == u"Dbx.MetaData") {
    if (text == u"GetDatabase") return CommandKind::MetaData;
    return std::nullopt;
  }
  if (type != kServerMethodType) return std::nullopt;
  if (text == u"TdtmPrincipal._Consultas") return CommandKind::Consultas;
  if (text == u"TdmPrincipal.AS_GetRecords") return CommandKind::GetRecords;
  if (text == kMethodListCommand) return CommandKind::MethodList;
  return FindCatalogueCommand(text);
}

bool IsServerMethod(CommandKind kind) { return kind != CommandKind::MetaData; }

std::vector<ParameterSpec> CommandParameters(CommandKind kind) {
  switch (kind) {
    case CommandKind::MetaData:
      return {};
    case CommandKind::Consultas:
      return {text_parameter(u"vSQL"), variant_parameter(u"ReturnParameter", kReturn)};
    case CommandKind::GetRecords:
      return {text_parameter(u"ProviderName"),
              int_parameter(u"Count"),
              int_parameter(u"RecsOut", kInOut),
              int_parameter(u"Options"),
              text_parameter(u"CommandText"),
              variant_parameter(u"Params", kInOut),
              variant_parameter(u"OwnerData", kInOut),
              variant_parameter(u"ReturnParameter", kReturn)};
    case CommandKind::MethodList:
      return MethodListParameters();
    case CommandKind::FirstCatalogueMethod:
      break;
  }
  return CatalogueParameters(kind);
}

std::vector<TableColumn> MetaDataColumns() {
  const auto text = [](UString name) { return TableColumn{std::move(name), dbx_type::kWideString, 0, 1, 0, 2, 0}; };
  const auto flag = [](UString name) { return TableColumn{std::move(name), dbx_type::kBool, 0, 1, 0, 2, 0}; };
  return {text(u"QuoteChar"),
          text(u"ProcedureQuoteChar"),
          TableColumn{u"MaxCommands", dbx_type::kInt32, 0, 10, 0, 4, 0},
          flag(u"SupportsTransactions"),
          flag(u"SupportsNestedTransactions"),
          flag(u"SupportsRowSetSize"),
          text(u"QuotePrefix"),
          text(u"QuoteSuffix"),
          flag(u"SupportsLowerCaseIdentifiers"),
          flag(u"SupportsUpperCaseIdentifiers"),
          flag(u"SupportsSPReturnCode")};
}

std::vector<std::uint8_t> MetaDataRow(std::int32_t buffer_size) {
  TDBXRowBuffer row(buffer_size, false, false);
  row.WriteString(u"\"");  // QuoteChar
  row.WriteString(u"\"");  // ProcedureQuoteChar
  row.WriteInt32(0);       // MaxCommands: no limit
  row.WriteBoolean(true);   // SupportsTransactions
  row.WriteBoolean(false);  // SupportsNestedTransactions
  row.WriteBoolean(false);  // SupportsRowSetSize
  row.WriteString(u"\"");  // QuotePrefix
  row.WriteString(u"\"");  // QuoteSuffix
  row.WriteBoolean(false);  // SupportsLowerCaseIdentifiers
  row.WriteBoolean(true);   // SupportsUpperCaseIdentifiers
  row.WriteBoolean(false);  // SupportsSPReturnCode
  return {row.Written().begin(), row.Written().end()};
}

std::optional<CommandTable> AnsweredTable(CommandKind kind, std::int32_t buffer_size) {
  if (kind == CommandKind::MetaData) return CommandTable{MetaDataColumns(), MetaDataRow(buffer_size)};
  if (kind == CommandKind::MethodList) {
    return CommandTable{MethodListColumns(), MethodListRows(buffer_size)};
  }
  return std::nullopt;
}

MethodResult RunServerMethod(const MethodCall& call) {
  switch (call.kind) {
    case CommandKind::Consultas: return run_consultas(call);
    case CommandKind::GetRecords: return run_get_records(call);
    case CommandKind::MetaData:
    case CommandKind::MethodList:
    case CommandKind::FirstCatalogueMethod: break;
  }
  if (IsCatalogueCommand(call.kind)) return RunCatalogueMethod(call);
  return failure(u"EComandoInvalido", u"Comando sem m\u00E9todo");
}

}  // namespace wardenix::trial
