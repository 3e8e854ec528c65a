#include "trialserver/catalogue_methods.h"

#include <memory>

#include "runtime/errors.h"
#include "runtime/variant.h"
#include "runtime/variant_stream.h"

namespace wardenix::trial {
namespace {

using enum ArgumentType;

constexpr std::int32_t kIn = 1;
constexpr std::int32_t kInOut = 3;
constexpr std::int32_t kReturn = 4;

// Data type codes beyond those of server_methods.h.
constexpr std::int32_t kDoubleType = 7;
constexpr std::int32_t kTableType = 23;
constexpr std::int32_t kTimestampType = 24;
constexpr std::int32_t kCurrencyType = 25;

constexpr TSQLTimeStamp kFixedDateTime{2024, 2, 29, 13, 45, 30, 250};

constexpr CatalogueArgument text(std::u16string_view name) { return {name, Text}; }
constexpr CatalogueArgument integer(std::u16string_view name) { return {name, Integer}; }
constexpr CatalogueArgument variant(std::u16string_view name) { return {name, Variant}; }

const std::vector<CatalogueMethod>& methods() {
  static const std::vector<CatalogueMethod> catalogue = {
      {u"_VerificaTipodaCertidao",
       {text(u"empresa"), text(u"cadastro"), text(u"modulo"), text(u"datareferencia")},
       Integer},
      {u"_GeraCertidao", {variant(u"DadosCadastro"), text(u"Usuario")}, Text},
      {u"_GeraRelCertidaoPDF",
       {text(u"Empresa"), text(u"Exercicio"), text(u"CodCertidao"), text(u"CaminhoPDF"),
        text(u"NomePDF"), integer(u"TipoGuia"), integer(u"TipoCertidao")},
       Text},
      {u"_RecuperaCNT_CNPJ", {text(u"Empresa"), text(u"CNPJ")}, Variant},
      {u"_LocalizaCNT_CNPJ", {text(u"Empresa"), text(u"CNPJ")}, Boolean},
      {u"_AtualizaContribuinte", {variant(u"vDados"), {u"CodCNT", Text, true}}, Integer},
      {u"_AtualizaLogradouro", {variant(u"vDados")}, Integer},
      {u"_AtualizaBairro", {variant(u"vDados")}, Integer},
      {u"_AtualizaCidade", {variant(u"vDados")}, Integer},
      {u"sqlAuxAfterClose", {{u"DataSet", Table}}, std::nullopt},
      {u"sqlAuxBeforeOpen", {{u"DataSet", Table}}, std::nullopt},
      {u"_Get_IPCliente", {}, Text},
      {u"_Set_IPCliente", {text(u"Value")}, std::nullopt},
      {u"_Set_UltAtvSM", {{u"Value", DateTime}}, std::nullopt},
      {u"LiberaCurConnection", {}, std::nullopt},
      {u"_ReconectarSGBD", {}, std::nullopt},
      {u"_DesativaUsuario", {text(u"vIP")}, std::nullopt},
      {u"_RmvUsuario", {text(u"vIP")}, std::nullopt},
      {u"_EdtUsuario", {text(u"vIP"), text(u"vAtiv")}, std::nullopt},
      {u"_CarregaVariaveis", {}, std::nullopt},
      {u"_AddUsuario", {text(u"vUser"), text(u"vIP")}, Boolean},
      {u"_EhFeriado", {text(u"Empresa"), text(u"dta")}, Boolean},
      {u"_GetHorario", {}, DateTime},
      {u"_Consultas", {text(u"vSQL")}, Variant},
      {u"_ExecDiretoLOG", {text(u"vSQL")}, Integer},
      {u"_ExecDireto", {text(u"vSQL")}, Integer},
      {u"_Salvar", {variant(u"CDS"), variant(u"DATAS")}, Variant},
      {u"_ProximoDiaUtil", {text(u"Empresa"), text(u"dta")}, Text},
      {u"_CarregaEmpresa", {text(u"Empresa")}, Variant},
      {u"_CarregaConvenios", {text(u"Empresa")}, Variant},
      {u"_TaxaExpedienteDiversas", {text(u"Empresa"), text(u"Setor"), text(u"Exercicio")}, Double},
      {u"_RecuperaRelReceita", {text(u"Empresa"), text(u"Tipo")}, Integer},
      {u"_RecuperaRecCertidao", {text(u"Empresa"), text(u"Tipo")}, Integer},
      {u"_RecuperaCodTipoCert", {text(u"Empresa"), text(u"Tipo")}, Integer},
      {u"_RecuperaValidadeCert", {text(u"Empresa"), text(u"Tipo")}, Integer},
      {u"_CadastroTemDivida", {text(u"Empresa"), text(u"Modulo"), text(u"Cadastro")}, Boolean},
      {u"_CadastroTemDividaAG", {text(u"Empresa"), text(u"Modulo"), text(u"Cadastro")}, Integer},
      {u"_RecuperaUnicaDividaAG", {text(u"Empresa"), text(u"Modulo"), text(u"Cadastro")}, Variant},
      {u"_CNPJTemDivida", {text(u"Empresa"), text(u"CNPJ")}, Integer},
      {u"_RecuperaCNPJEmpresa", {text(u"Empresa")}, Text},
      {u"_TamanhoMascara", {text(u"Tipo"), text(u"Empresa")}, Integer},
      {u"_MontaMascara", {text(u"Valor"), text(u"Tipo"), text(u"Empresa")}, Text},
      {u"_CarregaLayoutStream", {text(u"Empresa"), text(u"NomeAPL")}, Variant},
      {u"_CarregaLayoutStreamWeb", {text(u"Empresa"), text(u"NomeAPL")}, Variant},
      {u"_NossoNumero",
       {text(u"empresa"), text(u"banco"), text(u"cedente"), text(u"codigodivida"), text(u"parcela"),
        text(u"nossonumero"), text(u"tipo"), text(u"datavencimento")},
       Text},
      {u"_SegundoDigito",
       {text(u"febraagua"), text(u"febraoutros"), text(u"tpagua"), text(u"modulo")},
       Integer},
      {u"_CodigodebarraArrecadacao",
       {text(u"SegundoDigito"), text(u"Tipo"), text(u"Unica"), text(u"febraban"),
        text(u"FebrabanAgua"), text(u"modulo"), text(u"Divida"), text(u"Parcela"), text(u"tppar"),
        text(u"Vencimento"), text(u"CNPJ"), {u"Valor", Currency}},
       Text},
      {u"_CodigoDeBarra",
       {text(u"empresa"), text(u"banco"), text(u"vencimento"), text(u"codigodivida"),
        text(u"parcela"), text(u"nnumero"), text(u"tipo"), text(u"cedente"), {u"Valor", Currency}},
       Text},
      {u"_CarregaOFFLINE", {text(u"tabela")}, Variant},
  };
  return catalogue;
}

ParameterSpec describe(std::u16string_view name, ArgumentType type, std::int32_t direction) {
  UString n(name);
  switch (type) {
    case Text: return {dbx_type::kWideString, 0, direction, 0, 0, std::move(n), 0, 0};
    case Integer: return {dbx_type::kInt32, 0, direction, 10, 0, std::move(n), 4, 0};
    case Boolean: return {dbx_type::kBool, 0, direction, 1, 0, std::move(n), 2, 0};
    case Double: return {kDoubleType, 0, direction, 15, 0, std::move(n), 8, 0};
    case DateTime: return {kTimestampType, 0, direction, 0, 0, std::move(n), 16, 0};
    case Currency: return {kCurrencyType, 0, direction, 32, 4, std::move(n), 34, 0};
    case Variant: return {dbx_type::kVariant, 0, direction, 0, 0, std::move(n), 0, 0};
    case Table: return {kTableType, 0, direction, 0, 0, std::move(n), 0, 0};
  }
  return {};
}

bool has_input_rule(ArgumentType type) {
  return type != Boolean && type != Double && type != Table;
}

bool has_result_rule(ArgumentType type) { return type != Currency && type != Table; }

// Served by the rules of the header: every argument and the result have one.
bool served_here(const CatalogueMethod& method) {
  if (method.name == u"_Consultas") return false;
  for (const CatalogueArgument& argument : method.arguments) {
    if (!has_input_rule(argument.type)) return false;
  }
  return !method.result || has_result_rule(*method.result);
}

std::size_t index_of(CommandKind kind) {
  return static_cast<std::size_t>(static_cast<int>(kind) -
                                  static_cast<int>(CommandKind::FirstCatalogueMethod));
}

UString padded(std::int64_t value, std::size_t width) {
  UString digits = to_ustring(value);
  return UString(width > digits.size() ? width - digits.size() : 0, u'0') + digits;
}

UString date_time_text(const TSQLTimeStamp& t) {
  return padded(t.year, 4) + u"-" + padded(t.month, 2) + u"-" + padded(t.day, 2) + u" " +
         padded(t.hour, 2) + u":" + padded(t.minute, 2) + u":" + padded(t.second, 2) + u"." +
         padded(t.fractions, 3);
}

UString hex_text(std::span<const std::uint8_t> bytes) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  UString out;
  out.reserve(bytes.size() * 2);
  for (const std::uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
  }
  return out;
}

// The call text as the inputs come, or only its length when the answer
// needs no more: a data packet's bytes need not be held twice over in hex.
class CallText {
 public:
  CallText(std::u16string_view method_name, bool keep_text) : keep_text_(keep_text) {
    Add(method_name);
    Add(u"(");
  }
  void Add(std::u16string_view part) {
    length_ += part.size();
    if (keep_text_) text_ += part;
  }
  void AddHex(std::span<const std::uint8_t> bytes) {
    if (keep_text_) {
      text_ += hex_text(bytes);
    }
    length_ += 2 * bytes.size();
  }
  const UString& Text() const { return text_; }
  std::int32_t Length() const { return static_cast<std::int32_t>(length_); }

 private:
  bool keep_text_;
  UString text_;
  std::size_t length_ = 0;
};

// Whether the answer of `method` shows the call text itself.
bool shows_call_text(const CatalogueMethod& method) {
  if (method.result == Text) return true;
  if (method.result != Variant) return false;
  for (const CatalogueArgument& argument : method.arguments) {
    if (argument.type == Variant) return false;
  }
  return true;
}

// The reply row; what of a text or stream does not fit stays in the
// result for the client's more_blob requests.
class ReplyRow {
 public:
  ReplyRow(std::int32_t buffer_size, MethodResult& result)
      : row_(buffer_size, false, true), result_(result) {}

  TDBXRowBuffer& Row() { return row_; }
  void Text(std::int32_t ordinal, UStringView text) {
    if (auto rest = row_.WriteString(text)) result_.rest[ordinal] = std::move(rest);
  }
  void Stream(std::int32_t ordinal, std::vector<std::uint8_t> bytes) {
    auto source = std::make_unique<MemoryByteSource>(std::move(bytes));
    row_.WriteBytes(*source);
    if (!source->AtEnd()) result_.rest[ordinal] = std::move(source);
  }
  void Finish() { result_.row.assign(row_.Written().begin(), row_.Written().end()); }

 private:
  TDBXRowBuffer row_;
  MethodResult& result_;
};

}  // namespace

std::span<const CatalogueMethod> Catalogue() { return methods(); }

UString QualifiedName(const CatalogueMethod& method) {
  return UString(kCatalogueClass) + u"." + UString(method.name);
}

std::optional<CommandKind> FindCatalogueCommand(UStringView text) {
  const auto& all = methods();
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (QualifiedName(all[i]) != text) continue;
    if (!served_here(all[i])) return std::nullopt;
    return static_cast<CommandKind>(static_cast<int>(CommandKind::FirstCatalogueMethod) +
                                    static_cast<int>(i));
  }
  return std::nullopt;
}

bool IsCatalogueCommand(CommandKind kind) {
  return static_cast<int>(kind) >= static_cast<int>(CommandKind::FirstCatalogueMethod) &&
         index_of(kind) < methods().size();
}

std::vector<ParameterSpec> CatalogueParameters(CommandKind kind) {
  if (!IsCatalogueCommand(kind)) return {};
  const CatalogueMethod& method = methods()[index_of(kind)];
  std::vector<ParameterSpec> parameters;
  for (const CatalogueArgument& argument : method.arguments) {
    parameters.push_back(describe(argument.name, argument.type, argument.in_out ? kInOut : kIn));
  }
  if (method.result) parameters.push_back(describe(u"ReturnParameter", *method.result, kReturn));
  return parameters;
}

MethodResult RunCatalogueMethod(const MethodCall& call) {
  if (!IsCatalogueCommand(call.kind)) throw TDBXError(27, u"M\u00E9todo fora do cat\u00E1logo");
  const CatalogueMethod& method = methods()[index_of(call.kind)];
  TDBXRowBuffer& in = *call.input;
  MethodResult result;
  ReplyRow out(call.buffer_size, result);

  CallText call_text(method.name, shows_call_text(method));
  bool all_given = true;  // no input null or the empty text
  std::optional<std::optional<std::vector<std::uint8_t>>> last_variant;  // inner: null
  const auto count = static_cast<std::int32_t>(method.arguments.size());
  for (std::int32_t ordinal = 0; ordinal < count; ++ordinal) {
    const CatalogueArgument& argument = method.arguments[static_cast<std::size_t>(ordinal)];
    if (ordinal > 0) call_text.Add(u",");
    if (in.GetNull(ordinal)) {
      call_text.Add(u"null");
      all_given = false;
      if (argument.type == Variant) last_variant.emplace();
      out.Row().WriteNull();
      continue;
    }
    switch (argument.type) {
      case Text: {
        const UString value = in.ReadString(ordinal);
        call_text.Add(value);
        all_given = all_given && !value.empty();
        out.Text(ordinal, argument.in_out ? value + u"*" : value);
        break;
      }
      case Currency: {
        const UString value = in.ReadString(ordinal);
        call_text.Add(value);
        out.Text(ordinal, value);
        break;
      }
      case Integer: {
        const std::int32_t value = in.ReadInt32(ordinal);
        call_text.Add(to_ustring(value));
        out.Row().WriteInt32(value);
        break;
      }
      case DateTime: {
        const TSQLTimeStamp value = in.ReadTimestamp(ordinal);
        call_text.Add(date_time_text(value));
        out.Row().WriteTimestamp(value);
        break;
      }
      case Variant: {
        const auto source = in.ReadBytes(ordinal);
        std::vector<std::uint8_t> value = source ? ReadAll(*source) : std::vector<std::uint8_t>{};
        call_text.AddHex(value);
        last_variant.emplace(value);
        out.Stream(ordinal, std::move(value));
        break;
      }
      case Boolean:
      case Double:
      case Table:
        throw TDBXError(27, u"Argumento sem regra: " + UString(argument.name));
    }
  }
  call_text.Add(u")");

  if (method.result) {
    const std::int32_t length = call_text.Length();
    switch (*method.result) {
      case Text: out.Text(count, call_text.Text()); break;
      case Integer: out.Row().WriteInt32(length); break;
      case Boolean: out.Row().WriteBoolean(all_given); break;
      case Double: out.Row().WriteDouble(length / 4.0); break;
      case DateTime: out.Row().WriteTimestamp(kFixedDateTime); break;
      case Variant:
        if (!last_variant) {
          out.Stream(count, WriteOleVariant(wardenix::Variant::from_string(call_text.Text())));
        } else if (*last_variant) {
          out.Stream(count, std::move(**last_variant));
        } else {
          out.Row().WriteNull();
        }
        break;
      case Currency:
      case Table:
        throw TDBXError(27, u"Resultado sem regra: " + UString(method.name));
    }
  }
  out.Finish();
  return result;
}

}  // namespace wardenix::trial
