#pragma once
// What the trial server can run: the metadata command, the remote method
// TdtmPrincipal._Consultas, the provider operations of TdmPrincipal
// (provider_methods.h), the other methods of the catalogue
// (catalogue_methods.h) and the method list (method_list.h).
// Each execution takes the client's parameter row and gives back the reply
// row: every parameter's value in ordinal order, inputs echoed, outputs and
// the return value filled in.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "runtime/byte_source.h"
#include "runtime/ustring.h"
#include "trialserver/reply_writer.h"
#include "wire/row_buffer.h"

namespace wardenix::trial {

// Data type codes of the command model that the server describes.
namespace dbx_type {
inline constexpr std::int32_t kBool = 4;
inline constexpr std::int32_t kInt32 = 6;
inline constexpr std::int32_t kWideString = 26;
inline constexpr std::int32_t kVariant = 35;  // a byte stream holding a variant
}  // namespace dbx_type

enum class CommandKind {
  MetaData,
  Consultas,
  // The provider operations of TdmPrincipal (provider_methods.h).
  ApplyUpdates, GetRecords, DataRequest, GetProviderNames, GetParams, RowRequest, Execute,
  MethodList,
  // The catalogue's other methods (catalogue_methods.h) are kinds of their
  // own, FirstCatalogueMethod plus the method's place in the catalogue.
  FirstCatalogueMethod = 0x100,
};

inline constexpr char16_t kServerMethodType[] = u"DataSnap.ServerMethod";
inline constexpr char16_t kProductName[] = u"DAZEVAVIZ";
// The only query the server knows, and the only provider.
inline constexpr char16_t kVersaoQuery[] = u"SELECT * FROM GR_VERSAO";
inline constexpr char16_t kProviderName[] = u"dspAux";

// The command of that type and text, or nothing when the server has none.
std::optional<CommandKind> FindCommand(UStringView type, UStringView text);
bool IsServerMethod(CommandKind kind);
std::vector<ParameterSpec> CommandParameters(CommandKind kind);

// The one-row table of the metadata command.
std::vector<TableColumn> MetaDataColumns();
std::vector<std::uint8_t> MetaDataRow(std::int32_t buffer_size);

// What the metadata command and the method list answer: a table instead of
// a parameter row.
struct CommandTable {
  std::vector<TableColumn> columns;
  std::vector<std::uint8_t> rows;
};
std::optional<CommandTable> AnsweredTable(CommandKind kind, std::int32_t buffer_size);

struct MethodCall {
  CommandKind kind = CommandKind::Consultas;
  // The client's row; values that did not fit it are pulled through its
  // blob request.
  TDBXRowBuffer* input = nullptr;
  std::int32_t buffer_size = 0;
  // GR_VERSAO: its rows, and its whole packet as a variant stream.
  std::uint32_t version_rows = 0;
  const std::vector<std::uint8_t>* packet_stream = nullptr;
  // _Consultas answers null instead of the packet.
  bool null_consultas = false;
};

struct MethodResult {
  std::optional<ServerError> error;
  std::vector<std::uint8_t> row;
  // The parts of reply values that did not fit the row, by ordinal; the
  // client pulls them with more_blob.
  std::map<std::int32_t, std::unique_ptr<ByteSource>> rest;
};

// Malformed rows raise TDBXError.
MethodResult RunServerMethod(const MethodCall& call);

}  // namespace wardenix::trial
