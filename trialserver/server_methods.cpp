#include "trialserver/server_methods.h"

#include <algorithm>

#include "runtime/variant.h"
#include "runtime/variant_stream.h"
#include "trialserver/call_log.h"
#include "trialserver/catalogue_methods.h"
#include "trialserver/method_list.h"
#include "trialserver/method_values.h"
#include "trialserver/provider_methods.h"
#include "trialserver/versao_table.h"

namespace wardenix::trial {
namespace {

bool is_versao_query(UStringView sql) {
  return equals_ascii_ci(trim(sql), kVersaoQuery);
}

MethodResult run_consultas(const MethodCall& call) {
  LogCall("TdtmPrincipal._Consultas");
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

}  // namespace

std::optional<CommandKind> FindCommand(UStringView type, UStringView text) {
  if (type == u"Dbx.MetaData") {
    if (text == u"GetDatabase") return CommandKind::MetaData;
    return std::nullopt;
  }
  if (type != kServerMethodType) return std::nullopt;
  if (text == u"TdtmPrincipal._Consultas") return CommandKind::Consultas;
  if (text == kMethodListCommand) return CommandKind::MethodList;
  if (const auto provider = FindProviderMethod(text)) return provider;
  return FindCatalogueCommand(text);
}

bool IsServerMethod(CommandKind kind) { return kind != CommandKind::MetaData; }

std::vector<ParameterSpec> CommandParameters(CommandKind kind) {
  if (IsProviderMethod(kind)) return ProviderMethodParameters(kind);
  switch (kind) {
    case CommandKind::MetaData:
      return {};
    case CommandKind::Consultas:
      return {text_parameter(u"vSQL"), variant_parameter(u"ReturnParameter", kReturn)};
    case CommandKind::MethodList:
      return MethodListParameters();
    default:
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
  if (IsProviderMethod(call.kind)) return RunProviderMethod(call);
  switch (call.kind) {
    case CommandKind::Consultas: return run_consultas(call);
    default: break;
  }
  if (IsCatalogueCommand(call.kind)) return RunCatalogueMethod(call);
  return failure(u"EComandoInvalido", u"Comando sem m\u00E9todo");
}

}  // namespace wardenix::trial
