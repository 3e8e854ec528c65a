#include "proxy/uclasse_datasnap.h"

#include <type_traits>

#include "proxy/dataset_reader.h"
#include "runtime/errors.h"

namespace wardenix {
namespace {

// How each argument type is written, by the accessor the catalogue gives it;
// a type without one of its own does not compile rather than convert.
// A variant is copied first and the setter receives the copy.
template <typename Argument>
void SetArgument(TDBXValue& value, const Argument& argument) = delete;
void SetArgument(TDBXValue& value, const UString& text) { value.SetWideString(text); }
void SetArgument(TDBXValue& value, std::int32_t number) { value.SetInt32(number); }
void SetArgument(TDBXValue& value, TDateTime when) { value.SetAsDateTime(when); }
void SetArgument(TDBXValue& value, Currency amount) { value.SetAsCurrency(amount); }
void SetArgument(TDBXValue& value, const Variant& data) {
  const Variant copy = data;
  value.SetAsVariant(copy);
}

// A text argument that the server may change: it is sent as it stands, and
// the server's value is written back into the caller's variable.
struct InOut {
  UString& text;
};
void SetArgument(TDBXValue& value, const InOut& argument) { value.SetWideString(argument.text); }

// A dataset argument travels as a table reader over it, which the value
// owns; the reader frees the dataset with itself when `instance_owner`.
struct ReaderOver {
  TClientDataSet* dataset;
  bool instance_owner;
};
void SetArgument(TDBXValue& value, const ReaderOver& argument) {
  auto reader = std::make_unique<TDBXDataSetReader>(argument.dataset, argument.instance_owner);
  value.SetDBXReader(reader.get(), true);
  (void)reader.release();  // the value owns it now
}

// How each result type is read; the tag picks the accessor.
template <typename Result>
using As = std::type_identity<Result>;
UString GetResult(TDBXValue& value, As<UString>) { return value.GetWideString(); }
std::int32_t GetResult(TDBXValue& value, As<std::int32_t>) { return value.GetInt32(); }
bool GetResult(TDBXValue& value, As<bool>) { return value.GetBoolean(); }
double GetResult(TDBXValue& value, As<double>) { return value.GetDouble(); }
TDateTime GetResult(TDBXValue& value, As<TDateTime>) { return value.GetAsDateTime(); }
Variant GetResult(TDBXValue& value, As<Variant>) { return value.GetAsVariant(); }

// The value at `ordinal`, from the command's parameter list taken afresh.
TDBXValue& Parameter(TDBXCommand& command, std::int32_t ordinal) {
  return command.GetParameters().GetParameter(ordinal).Value();
}

// After the execution only in-out arguments are read back.
template <typename Argument>
void ReadBack(TDBXCommand&, std::int32_t, const Argument&) {}
void ReadBack(TDBXCommand& command, std::int32_t ordinal, const InOut& argument) {
  argument.text = Parameter(command, ordinal).GetWideString();
}

// The command in `slot`, created, typed, given its text and prepared when
// the slot is empty. A command whose preparation failed is dropped, so that
// the next call prepares afresh.
TDBXCommand& PreparedCommand(TDBXConnection& connection, std::unique_ptr<TDBXCommand>& slot,
                             UStringView text) {
  if (slot) return *slot;
  slot = connection.CreateCommand();
  try {
    slot->SetCommandType(kServerMethodCommandType);
    slot->SetText(text);
    slot->Prepare();
  } catch (...) {
    slot.reset();
    throw;
  }
  return *slot;
}

}  // namespace

TdtmPrincipalClient::TdtmPrincipalClient(TDBXConnection* ADBXConnection)
    : TdtmPrincipalClient(ADBXConnection, true) {}

TdtmPrincipalClient::TdtmPrincipalClient(TDBXConnection* ADBXConnection, bool AInstanceOwner)
    : FDBXConnection(ADBXConnection), FInstanceOwner(AInstanceOwner) {
  if (!FDBXConnection) {
    throw EInvalidOperation(u"Connection cannot be nil.  Make sure the connection has been opened.");
  }
}

// In slot order, each command closing itself on the server.
TdtmPrincipalClient::~TdtmPrincipalClient() {
  for (std::unique_ptr<TDBXCommand>& command : FCommands) command.reset();
}

template <typename Result, typename... Arguments>
Result TdtmPrincipalClient::Call(CommandSlot slot, UStringView text,
                                 const Arguments&... arguments) {
  TDBXCommand& command = PreparedCommand(*FDBXConnection, FCommands[slot], text);
  [[maybe_unused]] std::int32_t ordinal = 0;
  (SetArgument(Parameter(command, ordinal++), arguments), ...);
  command.ExecuteUpdate();
  ordinal = 0;
  (ReadBack(command, ordinal++, arguments), ...);
  if constexpr (!std::is_void_v<Result>) {
    return GetResult(Parameter(command, static_cast<std::int32_t>(sizeof...(Arguments))),
                     As<Result>{});
  }
}

// The remote methods, in catalogue order: slot, command text, arguments.

std::int32_t TdtmPrincipalClient::_VerificaTipodaCertidao(UString empresa, UString cadastro,
                                                          UString modulo, UString datareferencia) {
  return Call<std::int32_t>(F_VerificaTipodaCertidaoCommand,
                            u"TdtmPrincipal._VerificaTipodaCertidao", empresa, cadastro, modulo,
                            datareferencia);
}

UString TdtmPrincipalClient::_GeraCertidao(const Variant& DadosCadastro, UString Usuario) {
  return Call<UString>(F_GeraCertidaoCommand, u"TdtmPrincipal._GeraCertidao", DadosCadastro,
                       Usuario);
}

UString TdtmPrincipalClient::_GeraRelCertidaoPDF(UString Empresa, UString Exercicio,
                                                 UString CodCertidao, UString CaminhoPDF,
                                                 UString NomePDF, std::int32_t TipoGuia,
                                                 std::int32_t TipoCertidao) {
  return Call<UString>(F_GeraRelCertidaoPDFCommand, u"TdtmPrincipal._GeraRelCertidaoPDF", Empresa,
                       Exercicio, CodCertidao, CaminhoPDF, NomePDF, TipoGuia, TipoCertidao);
}

Variant TdtmPrincipalClient::_RecuperaCNT_CNPJ(UString Empresa, UString CNPJ) {
  return Call<Variant>(F_RecuperaCNT_CNPJCommand, u"TdtmPrincipal._RecuperaCNT_CNPJ", Empresa,
                       CNPJ);
}

bool TdtmPrincipalClient::_LocalizaCNT_CNPJ(UString Empresa, UString CNPJ) {
  return Call<bool>(F_LocalizaCNT_CNPJCommand, u"TdtmPrincipal._LocalizaCNT_CNPJ", Empresa, CNPJ);
}

std::int32_t TdtmPrincipalClient::_AtualizaContribuinte(const Variant& vDados, UString& CodCNT) {
  return Call<std::int32_t>(F_AtualizaContribuinteCommand, u"TdtmPrincipal._AtualizaContribuinte",
                            vDados, InOut{CodCNT});
}

std::int32_t TdtmPrincipalClient::_AtualizaLogradouro(const Variant& vDados) {
  return Call<std::int32_t>(F_AtualizaLogradouroCommand, u"TdtmPrincipal._AtualizaLogradouro",
                            vDados);
}

std::int32_t TdtmPrincipalClient::_AtualizaBairro(const Variant& vDados) {
  return Call<std::int32_t>(F_AtualizaBairroCommand, u"TdtmPrincipal._AtualizaBairro", vDados);
}

std::int32_t TdtmPrincipalClient::_AtualizaCidade(const Variant& vDados) {
  return Call<std::int32_t>(F_AtualizaCidadeCommand, u"TdtmPrincipal._AtualizaCidade", vDados);
}

void TdtmPrincipalClient::sqlAuxAfterClose(TClientDataSet* DataSet) {
  Call<void>(FsqlAuxAfterCloseCommand, u"TdtmPrincipal.sqlAuxAfterClose",
             ReaderOver{DataSet, FInstanceOwner});
}

void TdtmPrincipalClient::sqlAuxBeforeOpen(TClientDataSet* DataSet) {
  Call<void>(FsqlAuxBeforeOpenCommand, u"TdtmPrincipal.sqlAuxBeforeOpen",
             ReaderOver{DataSet, FInstanceOwner});
}

UString TdtmPrincipalClient::_Get_IPCliente() {
  return Call<UString>(F_Get_IPClienteCommand, u"TdtmPrincipal._Get_IPCliente");
}

void TdtmPrincipalClient::_Set_IPCliente(UString Value) {
  Call<void>(F_Set_IPClienteCommand, u"TdtmPrincipal._Set_IPCliente", Value);
}

void TdtmPrincipalClient::_Set_UltAtvSM(TDateTime Value) {
  Call<void>(F_Set_UltAtvSMCommand, u"TdtmPrincipal._Set_UltAtvSM", Value);
}

void TdtmPrincipalClient::LiberaCurConnection() {
  Call<void>(FLiberaCurConnectionCommand, u"TdtmPrincipal.LiberaCurConnection");
}

void TdtmPrincipalClient::_ReconectarSGBD() {
  Call<void>(F_ReconectarSGBDCommand, u"TdtmPrincipal._ReconectarSGBD");
}

void TdtmPrincipalClient::_DesativaUsuario(UString vIP) {
  Call<void>(F_DesativaUsuarioCommand, u"TdtmPrincipal._DesativaUsuario", vIP);
}

void TdtmPrincipalClient::_RmvUsuario(UString vIP) {
  Call<void>(F_RmvUsuarioCommand, u"TdtmPrincipal._RmvUsuario", vIP);
}

void TdtmPrincipalClient::_EdtUsuario(UString vIP, UString vAtiv) {
  Call<void>(F_EdtUsuarioCommand, u"TdtmPrincipal._EdtUsuario", vIP, vAtiv);
}

void TdtmPrincipalClient::_CarregaVariaveis() {
  Call<void>(F_CarregaVariaveisCommand, u"TdtmPrincipal._CarregaVariaveis");
}

bool TdtmPrincipalClient::_AddUsuario(UString vUser, UString vIP) {
  return Call<bool>(F_AddUsuarioCommand, u"TdtmPrincipal._AddUsuario", vUser, vIP);
}

bool TdtmPrincipalClient::_EhFeriado(UString Empresa, UString dta) {
  return Call<bool>(F_EhFeriadoCommand, u"TdtmPrincipal._EhFeriado", Empresa, dta);
}

TDateTime TdtmPrincipalClient::_GetHorario() {
  return Call<TDateTime>(F_GetHorarioCommand, u"TdtmPrincipal._GetHorario");
}

Variant TdtmPrincipalClient::_Consultas(UString vSQL) {
  return Call<Variant>(F_ConsultasCommand, u"TdtmPrincipal._Consultas", vSQL);
}

std::int32_t TdtmPrincipalClient::_ExecDiretoLOG(UString vSQL) {
  return Call<std::int32_t>(F_ExecDiretoLOGCommand, u"TdtmPrincipal._ExecDiretoLOG", vSQL);
}

std::int32_t TdtmPrincipalClient::_ExecDireto(UString vSQL) {
  return Call<std::int32_t>(F_ExecDiretoCommand, u"TdtmPrincipal._ExecDireto", vSQL);
}

Variant TdtmPrincipalClient::_Salvar(const Variant& CDS, const Variant& DATAS) {
  return Call<Variant>(F_SalvarCommand, u"TdtmPrincipal._Salvar", CDS, DATAS);
}

UString TdtmPrincipalClient::_ProximoDiaUtil(UString Empresa, UString dta) {
  return Call<UString>(F_ProximoDiaUtilCommand, u"TdtmPrincipal._ProximoDiaUtil", Empresa, dta);
}

Variant TdtmPrincipalClient::_CarregaEmpresa(UString Empresa) {
  return Call<Variant>(F_CarregaEmpresaCommand, u"TdtmPrincipal._CarregaEmpresa", Empresa);
}

Variant TdtmPrincipalClient::_CarregaConvenios(UString Empresa) {
  return Call<Variant>(F_CarregaConveniosCommand, u"TdtmPrincipal._CarregaConvenios", Empresa);
}

double TdtmPrincipalClient::_TaxaExpedienteDiversas(UString Empresa, UString Setor,
                                                    UString Exercicio) {
  return Call<double>(F_TaxaExpedienteDiversasCommand, u"TdtmPrincipal._TaxaExpedienteDiversas",
                      Empresa, Setor, Exercicio);
}

std::int32_t TdtmPrincipalClient::_RecuperaRelReceita(UString Empresa, UString Tipo) {
  return Call<std::int32_t>(F_RecuperaRelReceitaCommand, u"TdtmPrincipal._RecuperaRelReceita",
                            Empresa, Tipo);
}

std::int32_t TdtmPrincipalClient::_RecuperaRecCertidao(UString Empresa, UString Tipo) {
  return Call<std::int32_t>(F_RecuperaRecCertidaoCommand, u"TdtmPrincipal._RecuperaRecCertidao",
                            Empresa, Tipo);
}

std::int32_t TdtmPrincipalClient::_RecuperaCodTipoCert(UString Empresa, UString Tipo) {
  return Call<std::int32_t>(F_RecuperaCodTipoCertCommand, u"TdtmPrincipal._RecuperaCodTipoCert",
                            Empresa, Tipo);
}

std::int32_t TdtmPrincipalClient::_RecuperaValidadeCert(UString Empresa, UString Tipo) {
  return Call<std::int32_t>(F_RecuperaValidadeCertCommand, u"TdtmPrincipal._RecuperaValidadeCert",
                            Empresa, Tipo);
}

bool TdtmPrincipalClient::_CadastroTemDivida(UString Empresa, UString Modulo, UString Cadastro) {
  return Call<bool>(F_CadastroTemDividaCommand, u"TdtmPrincipal._CadastroTemDivida", Empresa,
                    Modulo, Cadastro);
}

std::int32_t TdtmPrincipalClient::_CadastroTemDividaAG(UString Empresa, UString Modulo,
                                                       UString Cadastro) {
  return Call<std::int32_t>(F_CadastroTemDividaAGCommand, u"TdtmPrincipal._CadastroTemDividaAG",
                            Empresa, Modulo, Cadastro);
}

Variant TdtmPrincipalClient::_RecuperaUnicaDividaAG(UString Empresa, UString Modulo,
                                                    UString Cadastro) {
  return Call<Variant>(F_RecuperaUnicaDividaAGCommand, u"TdtmPrincipal._RecuperaUnicaDividaAG",
                       Empresa, Modulo, Cadastro);
}

std::int32_t TdtmPrincipalClient::_CNPJTemDivida(UString Empresa, UString CNPJ) {
  return Call<std::int32_t>(F_CNPJTemDividaCommand, u"TdtmPrincipal._CNPJTemDivida", Empresa, CNPJ);
}

UString TdtmPrincipalClient::_RecuperaCNPJEmpresa(UString Empresa) {
  return Call<UString>(F_RecuperaCNPJEmpresaCommand, u"TdtmPrincipal._RecuperaCNPJEmpresa",
                       Empresa);
}

std::int32_t TdtmPrincipalClient::_TamanhoMascara(UString Tipo, UString Empresa) {
  return Call<std::int32_t>(F_TamanhoMascaraCommand, u"TdtmPrincipal._TamanhoMascara", Tipo,
                            Empresa);
}

UString TdtmPrincipalClient::_MontaMascara(UString Valor, UString Tipo, UString Empresa) {
  return Call<UString>(F_MontaMascaraCommand, u"TdtmPrincipal._MontaMascara", Valor, Tipo, Empresa);
}

Variant TdtmPrincipalClient::_CarregaLayoutStream(UString Empresa, UString NomeAPL) {
  return Call<Variant>(F_CarregaLayoutStreamCommand, u"TdtmPrincipal._CarregaLayoutStream", Empresa,
                       NomeAPL);
}

Variant TdtmPrincipalClient::_CarregaLayoutStreamWeb(UString Empresa, UString NomeAPL) {
  return Call<Variant>(F_CarregaLayoutStreamWebCommand, u"TdtmPrincipal._CarregaLayoutStreamWeb",
                       Empresa, NomeAPL);
}

UString TdtmPrincipalClient::_NossoNumero(UString empresa, UString banco, UString cedente,
                                          UString codigodivida, UString parcela,
                                          UString nossonumero, UString tipo,
                                          UString datavencimento) {
  return Call<UString>(F_NossoNumeroCommand, u"TdtmPrincipal._NossoNumero", empresa, banco, cedente,
                       codigodivida, parcela, nossonumero, tipo, datavencimento);
}

std::int32_t TdtmPrincipalClient::_SegundoDigito(UString febraagua, UString febraoutros,
                                                 UString tpagua, UString modulo) {
  return Call<std::int32_t>(F_SegundoDigitoCommand, u"TdtmPrincipal._SegundoDigito", febraagua,
                            febraoutros, tpagua, modulo);
}

UString TdtmPrincipalClient::_CodigodebarraArrecadacao(UString SegundoDigito, UString Tipo,
                                                       UString Unica, UString febraban,
                                                       UString FebrabanAgua, UString modulo,
                                                       UString Divida, UString Parcela,
                                                       UString tppar, UString Vencimento,
                                                       UString CNPJ, Currency Valor) {
  return Call<UString>(
      F_CodigodebarraArrecadacaoCommand, u"TdtmPrincipal._CodigodebarraArrecadacao", SegundoDigito,
      Tipo, Unica, febraban, FebrabanAgua, modulo, Divida, Parcela, tppar, Vencimento, CNPJ, Valor);
}

UString TdtmPrincipalClient::_CodigoDeBarra(UString empresa, UString banco, UString vencimento,
                                            UString codigodivida, UString parcela, UString nnumero,
                                            UString tipo, UString cedente, Currency Valor) {
  return Call<UString>(F_CodigoDeBarraCommand, u"TdtmPrincipal._CodigoDeBarra", empresa, banco,
                       vencimento, codigodivida, parcela, nnumero, tipo, cedente, Valor);
}

Variant TdtmPrincipalClient::_CarregaOFFLINE(UString tabela) {
  return Call<Variant>(F_CarregaOFFLINECommand, u"TdtmPrincipal._CarregaOFFLINE", tabela);
}
}  // namespace wardenix
