#include "app/inspect/remote_methods.h"

#include <array>
#include <memory>
#include <tuple>
#include <utility>

#include "app/inspect/argument_text.h"
#include "app/inspect/value_json.h"

namespace wardenix {
namespace {

// What the table needs of each parameter type of the proxy: its name, how an
// argument of it is read from text and kept until the call, how it is
// handed to the proxy, and for an in-out one how it is written afterwards.
template <typename T>
struct Argument;

// A value passed as it was read.
template <typename T, ValueType kType, Parsed<T> (*kParse)(std::string_view)>
struct ByValue {
  static constexpr ValueType type = kType;
  using Kept = T;
  static Parsed<Kept> parse(std::string_view text) { return kParse(text); }
  static Kept pass(Kept& kept) { return kept; }
};

template <>
struct Argument<UString> : ByValue<UString, ValueType::Text, parse_text> {};

// The in-out text: the proxy gives the server's value back in it.
template <>
struct Argument<UString&> : Argument<UString> {
  static UString& pass(Kept& kept) { return kept; }
  static void write(JsonWriter& json, const Kept& kept) { json.string(to_utf8(kept)); }
};

template <>
struct Argument<std::int32_t> : ByValue<std::int32_t, ValueType::Integer, parse_integer> {};
template <>
struct Argument<Currency> : ByValue<Currency, ValueType::Currency, parse_currency> {};
template <>
struct Argument<TDateTime> : ByValue<TDateTime, ValueType::DateTime, parse_date_time> {};

template <>
struct Argument<const Variant&> {
  static constexpr ValueType type = ValueType::OleVariant;
  using Kept = Variant;
  static Parsed<Kept> parse(std::string_view text) { return parse_variant(text); }
  static const Variant& pass(Kept& kept) { return kept; }
};

// The dataset stays the call's own: the proxy that takes it does not own it.
template <>
struct Argument<TClientDataSet*> {
  static constexpr ValueType type = ValueType::DataSet;
  using Kept = std::shared_ptr<TClientDataSet>;
  static Parsed<Kept> parse(std::string_view path) { return parse_dataset(path); }
  static TClientDataSet* pass(Kept& kept) { return kept.get(); }
};

template <typename T>
constexpr bool kInOut = std::is_lvalue_reference_v<T> && !std::is_const_v<std::remove_reference_t<T>>;

template <typename R>
struct Result;

template <>
struct Result<void> {
  static constexpr std::optional<ValueType> type = std::nullopt;
};

template <>
struct Result<UString> {
  static constexpr std::optional<ValueType> type = ValueType::Text;
  static void write(JsonWriter& json, const UString& value) { json.string(to_utf8(value)); }
};

template <>
struct Result<std::int32_t> {
  static constexpr std::optional<ValueType> type = ValueType::Integer;
  static void write(JsonWriter& json, std::int32_t value) { json.integer(value); }
};

template <>
struct Result<bool> {
  static constexpr std::optional<ValueType> type = ValueType::Boolean;
  static void write(JsonWriter& json, bool value) { json.boolean(value); }
};

template <>
struct Result<double> {
  static constexpr std::optional<ValueType> type = ValueType::Double;
  static void write(JsonWriter& json, double value) { write_double(json, value); }
};

template <>
struct Result<TDateTime> {
  static constexpr std::optional<ValueType> type = ValueType::DateTime;
  static void write(JsonWriter& json, TDateTime value) { json.string(date_time_text(value)); }
};

template <>
struct Result<Variant> {
  static constexpr std::optional<ValueType> type = ValueType::OleVariant;
  static void write(JsonWriter& json, const Variant& value) { write_variant(json, value); }
};

using Proxy = TdtmPrincipalClient;

// Calls `member` with the kept arguments and writes what it gives back.
template <typename R, typename... Args, std::size_t... I>
void call_with(Proxy& proxy, R (Proxy::*member)(Args...), std::tuple<typename Argument<Args>::Kept...>& kept,
         const std::array<std::string_view, sizeof...(Args)>& names, JsonWriter& json,
         std::index_sequence<I...>) {
  if constexpr (std::is_void_v<R>) {
    (proxy.*member)(Argument<Args>::pass(std::get<I>(kept))...);
  } else {
    const R result = (proxy.*member)(Argument<Args>::pass(std::get<I>(kept))...);
    json.key("result");
    Result<R>::write(json, result);
  }
  if constexpr ((kInOut<Args> || ...)) {
    json.key("out").begin_object();
    const auto write_out = [&]<std::size_t K>(std::integral_constant<std::size_t, K>) {
      using A = std::tuple_element_t<K, std::tuple<Args...>>;
      if constexpr (kInOut<A>) {
        json.key(names[K]);
        Argument<A>::write(json, std::get<K>(kept));
      }
    };
    (write_out(std::integral_constant<std::size_t, I>{}), ...);
    json.end_object();
  }
}

// Reads every argument, the first refusal ending the reading.
template <typename R, typename... Args, std::size_t... I>
Binding bind_arguments(R (Proxy::*member)(Args...), const std::array<std::string_view, sizeof...(Args)>& names,
             std::span<const std::string_view> texts, std::index_sequence<I...> order) {
  auto kept = std::make_shared<std::tuple<typename Argument<Args>::Kept...>>();
  Binding binding;
  [[maybe_unused]] const auto read = [&]<std::size_t K>(std::integral_constant<std::size_t, K>) {
    using A = std::tuple_element_t<K, std::tuple<Args...>>;
    auto parsed = Argument<A>::parse(texts[K]);
    if (!parsed.value) {
      binding.argument = K;
      binding.error = std::move(parsed.error);
      return false;
    }
    std::get<K>(*kept) = std::move(*parsed.value);
    return true;
  };
  if (!(read(std::integral_constant<std::size_t, I>{}) && ...)) return binding;
  binding.call = [member, names, kept, order](Proxy& proxy, JsonWriter& json) {
    call_with(proxy, member, *kept, names, json, order);
  };
  return binding;
}

template <typename... Args, std::size_t... I>
std::vector<MethodParameter> parameters(const std::array<std::string_view, sizeof...(Args)>& names,
                                        std::index_sequence<I...>) {
  return {MethodParameter{names[I], Argument<Args>::type, kInOut<Args>}...};
}

// One row of the table: the proxy's method and its arguments' names; the
// types come from the method's own declaration.
template <typename R, typename... Args>
RemoteMethod method(std::string_view name, R (Proxy::*member)(Args...),
                    std::type_identity_t<std::array<std::string_view, sizeof...(Args)>> names = {}) {
  return {name, parameters<Args...>(names, std::index_sequence_for<Args...>{}), Result<R>::type,
          [member, names](std::span<const std::string_view> texts) {
            return bind_arguments(member, names, texts, std::index_sequence_for<Args...>{});
          }};
}

const std::vector<RemoteMethod>& table() {
  using P = Proxy;
  static const std::vector<RemoteMethod> methods = {
      method("_VerificaTipodaCertidao", &P::_VerificaTipodaCertidao,
             {"empresa", "cadastro", "modulo", "datareferencia"}),
      method("_GeraCertidao", &P::_GeraCertidao, {"DadosCadastro", "Usuario"}),
      method("_GeraRelCertidaoPDF", &P::_GeraRelCertidaoPDF,
             {"Empresa", "Exercicio", "CodCertidao", "CaminhoPDF", "NomePDF", "TipoGuia", "TipoCertidao"}),
      method("_RecuperaCNT_CNPJ", &P::_RecuperaCNT_CNPJ, {"Empresa", "CNPJ"}),
      method("_LocalizaCNT_CNPJ", &P::_LocalizaCNT_CNPJ, {"Empresa", "CNPJ"}),
      method("_AtualizaContribuinte", &P::_AtualizaContribuinte, {"vDados", "CodCNT"}),
      method("_AtualizaLogradouro", &P::_AtualizaLogradouro, {"vDados"}),
      method("_AtualizaBairro", &P::_AtualizaBairro, {"vDados"}),
      method("_AtualizaCidade", &P::_AtualizaCidade, {"vDados"}),
      method("sqlAuxAfterClose", &P::sqlAuxAfterClose, {"DataSet"}),
      method("sqlAuxBeforeOpen", &P::sqlAuxBeforeOpen, {"DataSet"}),
      method("_Get_IPCliente", &P::_Get_IPCliente),
      method("_Set_IPCliente", &P::_Set_IPCliente, {"Value"}),
      method("_Set_UltAtvSM", &P::_Set_UltAtvSM, {"Value"}),
      method("LiberaCurConnection", &P::LiberaCurConnection),
      method("_ReconectarSGBD", &P::_ReconectarSGBD),
      method("_DesativaUsuario", &P::_DesativaUsuario, {"vIP"}),
      method("_RmvUsuario", &P::_RmvUsuario, {"vIP"}),
      method("_EdtUsuario", &P::_EdtUsuario, {"vIP", "vAtiv"}),
      method("_CarregaVariaveis", &P::_CarregaVariaveis),
      method("_AddUsuario", &P::_AddUsuario, {"vUser", "vIP"}),
      method("_EhFeriado", &P::_EhFeriado, {"Empresa", "dta"}),
      method("_GetHorario", &P::_GetHorario),
      method("_Consultas", &P::_Consultas, {"vSQL"}),
      method("_ExecDiretoLOG", &P::_ExecDiretoLOG, {"vSQL"}),
      method("_ExecDireto", &P::_ExecDireto, {"vSQL"}),
      method("_Salvar", &P::_Salvar, {"CDS", "DATAS"}),
      method("_ProximoDiaUtil", &P::_ProximoDiaUtil, {"Empresa", "dta"}),
      method("_CarregaEmpresa", &P::_CarregaEmpresa, {"Empresa"}),
      method("_CarregaConvenios", &P::_CarregaConvenios, {"Empresa"}),
      method("_TaxaExpedienteDiversas", &P::_TaxaExpedienteDiversas, {"Empresa", "Setor", "Exercicio"}),
      method("_RecuperaRelReceita", &P::_RecuperaRelReceita, {"Empresa", "Tipo"}),
      method("_RecuperaRecCertidao", &P::_RecuperaRecCertidao, {"Empresa", "Tipo"}),
      method("_RecuperaCodTipoCert", &P::_RecuperaCodTipoCert, {"Empresa", "Tipo"}),
      method("_RecuperaValidadeCert", &P::_RecuperaValidadeCert, {"Empresa", "Tipo"}),
      method("_CadastroTemDivida", &P::_CadastroTemDivida, {"Empresa", "Modulo", "Cadastro"}),
      method("_CadastroTemDividaAG", &P::_CadastroTemDividaAG, {"Empresa", "Modulo", "Cadastro"}),
      method("_RecuperaUnicaDividaAG", &P::_RecuperaUnicaDividaAG, {"Empresa", "Modulo", "Cadastro"}),
      method("_CNPJTemDivida", &P::_CNPJTemDivida, {"Empresa", "CNPJ"}),
      method("_RecuperaCNPJEmpresa", &P::_RecuperaCNPJEmpresa, {"Empresa"}),
      method("_TamanhoMascara", &P::_TamanhoMascara, {"Tipo", "Empresa"}),
      method("_MontaMascara", &P::_MontaMascara, {"Valor", "Tipo", "Empresa"}),
      method("_CarregaLayoutStream", &P::_CarregaLayoutStream, {"Empresa", "NomeAPL"}),
      method("_CarregaLayoutStreamWeb", &P::_CarregaLayoutStreamWeb, {"Empresa", "NomeAPL"}),
      method("_NossoNumero", &P::_NossoNumero,
             {"empresa", "banco", "cedente", "codigodivida", "parcela", "nossonumero", "tipo",
              "datavencimento"}),
      method("_SegundoDigito", &P::_SegundoDigito, {"febraagua", "febraoutros", "tpagua", "modulo"}),
      method("_CodigodebarraArrecadacao", &P::_CodigodebarraArrecadacao,
             {"SegundoDigito", "Tipo", "Unica", "febraban", "FebrabanAgua", "modulo", "Divida", "Parcela",
              "tppar", "Vencimento", "CNPJ", "Valor"}),
      method("_CodigoDeBarra", &P::_CodigoDeBarra,
             {"empresa", "banco", "vencimento", "codigodivida", "parcela", "nnumero", "tipo", "cedente",
              "Valor"}),
      method("_CarregaOFFLINE", &P::_CarregaOFFLINE, {"tabela"}),
  };
  return methods;
}

bool same_ascii_ci(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

const char* value_type_name(ValueType type) {
  switch (type) {
    case ValueType::Text: return "string";
    case ValueType::Integer: return "Integer";
    case ValueType::Boolean: return "Boolean";
    case ValueType::Double: return "Double";
    case ValueType::DateTime: return "TDateTime";
    case ValueType::Currency: return "Currency";
    case ValueType::OleVariant: return "OleVariant";
    case ValueType::DataSet: return "TDataSet";
  }
  return "?";
}

std::span<const RemoteMethod> remote_methods() { return table(); }

const RemoteMethod* find_remote_method(std::string_view name) {
  for (const RemoteMethod& method : table()) {
    if (same_ascii_ci(method.name, name)) return &method;
  }
  return nullptr;
}

std::string method_signature(const RemoteMethod& method) {
  std::string text(method.name);
  if (!method.parameters.empty()) {
    text.append(1, '(');
    for (std::size_t i = 0; i < method.parameters.size(); ++i) {
      const MethodParameter& parameter = method.parameters[i];
      if (i > 0) text.append("; ");
      if (parameter.in_out) text.append("var ");
      text.append(parameter.name).append(": ").append(value_type_name(parameter.type));
    }
    text.append(1, ')');
  }
  if (method.result) text.append(": ").append(value_type_name(*method.result));
  return text;
}

}  // namespace wardenix
