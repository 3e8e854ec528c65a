#include "proxy/uclasse_datasnap.h"

#include "proxy/dataset_reader.h"
#include "runtime/errors.h"

namespace wardenix {

TdtmPrincipalClient::TdtmPrincipalClient(TDBXConnection* ADBXConnection)
    : TdtmPrincipalClient(ADBXConnection, true) {}

TdtmPrincipalClient::TdtmPrincipalClient(TDBXConnection* ADBXConnection, bool AInstanceOwner)
    : FDBXConnection(ADBXConnection), FInstanceOwner(AInstanceOwner) {
  if (!FDBXConnection) {
    throw EInvalidOperation(u"Connection cannot be nil.  Make sure the connection has been opened.");
  }
}

TdtmPrincipalClient::~TdtmPrincipalClient() {
  F_VerificaTipodaCertidaoCommand.reset();
  F_GeraCertidaoCommand.reset();
  F_GeraRelCertidaoPDFCommand.reset();
  F_RecuperaCNT_CNPJCommand.reset();
  F_LocalizaCNT_CNPJCommand.reset();
  F_AtualizaContribuinteCommand.reset();
  F_AtualizaLogradouroCommand.reset();
  F_AtualizaBairroCommand.reset();
  F_AtualizaCidadeCommand.reset();
  FsqlAuxAfterCloseCommand.reset();
  FsqlAuxBeforeOpenCommand.reset();
  F_Get_IPClienteCommand.reset();
  F_Set_IPClienteCommand.reset();
  F_Set_UltAtvSMCommand.reset();
  FLiberaCurConnectionCommand.reset();
  F_ReconectarSGBDCommand.reset();
  F_DesativaUsuarioCommand.reset();
  F_RmvUsuarioCommand.reset();
  F_EdtUsuarioCommand.reset();
  F_CarregaVariaveisCommand.reset();
  F_AddUsuarioCommand.reset();
  F_EhFeriadoCommand.reset();
  F_GetHorarioCommand.reset();
  F_ConsultasCommand.reset();
  F_ExecDiretoLOGCommand.reset();
  F_ExecDiretoCommand.reset();
  F_SalvarCommand.reset();
  F_ProximoDiaUtilCommand.reset();
  F_CarregaEmpresaCommand.reset();
  F_CarregaConveniosCommand.reset();
  F_TaxaExpedienteDiversasCommand.reset();
  F_RecuperaRelReceitaCommand.reset();
  F_RecuperaRecCertidaoCommand.reset();
  F_RecuperaCodTipoCertCommand.reset();
  F_RecuperaValidadeCertCommand.reset();
  F_CadastroTemDividaCommand.reset();
  F_CadastroTemDividaAGCommand.reset();
  F_RecuperaUnicaDividaAGCommand.reset();
  F_CNPJTemDividaCommand.reset();
  F_RecuperaCNPJEmpresaCommand.reset();
  F_TamanhoMascaraCommand.reset();
  F_MontaMascaraCommand.reset();
  F_CarregaLayoutStreamCommand.reset();
  F_CarregaLayoutStreamWebCommand.reset();
  F_NossoNumeroCommand.reset();
  F_SegundoDigitoCommand.reset();
  F_CodigodebarraArrecadacaoCommand.reset();
  F_CodigoDeBarraCommand.reset();
  F_CarregaOFFLINECommand.reset();
}

TDBXCommand& TdtmPrincipalClient::PreparedCommand(std::unique_ptr<TDBXCommand>& field,
                                                  UStringView text) {
  if (field) return *field;
  field = FDBXConnection->CreateCommand();
  try {
    field->SetCommandType(kServerMethodCommandType);
    field->SetText(text);
    field->Prepare();
  } catch (...) {
    field.reset();
    throw;
  }
  return *field;
}

TDBXValue& TdtmPrincipalClient::Parameter(TDBXCommand& command, std::int32_t ordinal) {
  return command.GetParameters().GetParameter(ordinal).Value();
}

std::int32_t TdtmPrincipalClient::_VerificaTipodaCertidao(UString empresa, UString cadastro,
                                                          UString modulo, UString datareferencia) {
  TDBXCommand& command = PreparedCommand(F_VerificaTipodaCertidaoCommand,
                                         u"TdtmPrincipal._VerificaTipodaCertidao");
  Parameter(command, 0).SetWideString(empresa);
  Parameter(command, 1).SetWideString(cadastro);
  Parameter(command, 2).SetWideString(modulo);
  Parameter(command, 3).SetWideString(datareferencia);
  command.ExecuteUpdate();
  return Parameter(command, 4).GetInt32();
}

UString TdtmPrincipalClient::_GeraCertidao(const Variant& DadosCadastro, UString Usuario) {
  TDBXCommand& command = PreparedCommand(F_GeraCertidaoCommand, u"TdtmPrincipal._GeraCertidao");
  const Variant DadosCadastro_copy = DadosCadastro;
  Parameter(command, 0).SetAsVariant(DadosCadastro_copy);
  Parameter(command, 1).SetWideString(Usuario);
  command.ExecuteUpdate();
  return Parameter(command, 2).GetWideString();
}

UString TdtmPrincipalClient::_GeraRelCertidaoPDF(UString Empresa, UString Exercicio,
                                                 UString CodCertidao, UString CaminhoPDF,
                                                 UString NomePDF, std::int32_t TipoGuia,
                                                 std::int32_t TipoCertidao) {
  TDBXCommand& command = PreparedCommand(F_GeraRelCertidaoPDFCommand,
                                         u"TdtmPrincipal._GeraRelCertidaoPDF");
  Parameter(command, 0).SetWideString(Empresa);
  Parameter(command, 1).SetWideString(Exercicio);
  Parameter(command, 2).SetWideString(CodCertidao);
  Parameter(command, 3).SetWideString(CaminhoPDF);
  Parameter(command, 4).SetWideString(NomePDF);
  Parameter(command, 5).SetInt32(TipoGuia);
  Parameter(command, 6).SetInt32(TipoCertidao);
  command.ExecuteUpdate();
  return Parameter(command, 7).GetWideString();
}

Variant TdtmPrincipalClient::_RecuperaCNT_CNPJ(UString Empresa, UString CNPJ) {
  TDBXCommand& command = PreparedCommand(F_RecuperaCNT_CNPJCommand,
                                         u"TdtmPrincipal._RecuperaCNT_CNPJ");
  Parameter(command, 0).SetWideString(Empresa);
  Parameter(command, 1).SetWideString(CNPJ);
  command.ExecuteUpdate();
  return Parameter(command, 2).GetAsVariant();
}

bool TdtmPrincipalClient::_LocalizaCNT_CNPJ(UString Empresa, UString CNPJ) {
  TDBXCommand& command = PreparedCommand(F_LocalizaCNT_CNPJCommand,
                                         u"TdtmPrincipal._LocalizaCNT_CNPJ");
  Parameter(command, 0).SetWideString(Empresa);
  Parameter(command, 1).SetWideString(CNPJ);
  command.ExecuteUpdate();
  return Parameter(command, 2).GetBoolean();
}

std::int32_t TdtmPrincipalClient::_AtualizaContribuinte(const Variant& vDados, UString& CodCNT) {
  TDBXCommand& command = PreparedCommand(F_AtualizaContribuinteCommand,
                                         u"TdtmPrincipal._AtualizaContribuinte");
  const Variant vDados_copy = vDados;
  Parameter(command, 0).SetAsVariant(vDados_copy);
  Parameter(command, 1).SetWideString(CodCNT);
  command.ExecuteUpdate();
  CodCNT = Parameter(command, 1).GetWideString();
  return Parameter(command, 2).GetInt32();
}

std::int32_t TdtmPrincipalClient::_AtualizaLogradouro(const Variant& vDados) {
  TDBXCommand& command = PreparedCommand(F_AtualizaLogradouroCommand,
                                         u"TdtmPrincipal._AtualizaLogradouro");
  const Variant vDados_copy = vDados;
  Parameter(command, 0).SetAsVariant(vDados_copy);
  command.ExecuteUpdate();
  return Parameter(command, 1).GetInt32();
}

std::int32_t TdtmPrincipalClient::_AtualizaBairro(const Variant& vDados) {
  TDBXCommand& command = PreparedCommand(F_AtualizaBairroCommand, u"TdtmPrincipal._AtualizaBairro");
  const Variant vDados_copy = vDados;
  Parameter(command, 0).SetAsVariant(vDados_copy);
  command.ExecuteUpdate();
  return Parameter(command, 1).GetInt32();
}

std::int32_t TdtmPrincipalClient::_AtualizaCidade(const Variant& vDados) {
  TDBXCommand& command = PreparedCommand(F_AtualizaCidadeCommand, u"TdtmPrincipal._AtualizaCidade");
  const Variant vDados_copy = vDados;
  Parameter(command, 0).SetAsVariant(vDados_copy);
  command.ExecuteUpdate();
  return Parameter(command, 1).GetInt32();
}

void TdtmPrincipalClient::sqlAuxAfterClose(TClientDataSet* DataSet) {
  TDBXCommand& command = PreparedCommand(FsqlAuxAfterCloseCommand,
                                         u"TdtmPrincipal.sqlAuxAfterClose");
  TDBXValue& value = Parameter(command, 0);
  auto reader = std::make_unique<TDBXDataSetReader>(DataSet, FInstanceOwner);
  value.SetDBXReader(reader.get(), true);
  (void)reader.release();  // the value owns it now
  command.ExecuteUpdate();
}

void TdtmPrincipalClient::sqlAuxBeforeOpen(TClientDataSet* DataSet) {
  TDBXCommand& command = PreparedCommand(FsqlAuxBeforeOpenCommand,
                                         u"TdtmPrincipal.sqlAuxBeforeOpen");
  TDBXValue& value = Parameter(command, 0);
  auto reader = std::make_unique<TDBXDataSetReader>(DataSet, FInstanceOwner);
  value.SetDBXReader(reader.get(), true);
  (void)reader.release();  // the value owns it now
  command.ExecuteUpdate();
}

UString TdtmPrincipalClient::_Get_IPCliente() {
  TDBXCommand& command = PreparedCommand(F_Get_IPClienteCommand, u"TdtmPrincipal._Get_IPCliente");
  command.ExecuteUpdate();
  return Parameter(command, 0).GetWideString();
}

void TdtmPrincipalClient::_Set_IPCliente(UString Value) {
  TDBXCommand& command = PreparedCommand(F_Set_IPClienteCommand, u"TdtmPrincipal._Set_IPCliente");
  Parameter(command, 0).SetWideString(Value);
  command.ExecuteUpdate();
}

void TdtmPrincipalClient::_Set_UltAtvSM(TDateTime Value) {
  TDBXCommand& command = PreparedCommand(F_Set_UltAtvSMCommand, u"TdtmPrincipal._Set_UltAtvSM");
  Parameter(command, 0).SetAsDateTime(Value);
  command.ExecuteUpdate();
}

void TdtmPrincipalClient::LiberaCurConnection() {
  TDBXCommand& command = PreparedCommand(FLiberaCurConnectionCommand,
                                         u"TdtmPrincipal.LiberaCurConnection");
  command.ExecuteUpdate();
}

void TdtmPrincipalClient::_ReconectarSGBD() {
  TDBXCommand& command = PreparedCommand(F_ReconectarSGBDCommand, u"TdtmPrincipal._ReconectarSGBD");
  command.ExecuteUpdate();
}

void TdtmPrincipalClient::_DesativaUsuario(UString vIP) {
  TDBXCommand& command = PreparedCommand(F_DesativaUsuarioCommand,
                                         u"TdtmPrincipal._DesativaUsuario");
  Parameter(command, 0).SetWideString(vIP);
  command.ExecuteUpdate();
}

void TdtmPrincipalClient::_RmvUsuario(UString vIP) {
  TDBXCommand& command = PreparedCommand(F_RmvUsuarioCommand, u"TdtmPrincipal._RmvUsuario");
  Parameter(command, 0).SetWideString(vIP);
  command.ExecuteUpdate();
}

void TdtmPrincipalClient::_EdtUsuario(UString vIP, UString vAtiv) {
  TDBXCommand& command = PreparedCommand(F_EdtUsuarioCommand, u"TdtmPrincipal._EdtUsuario");
  Parameter(command, 0).SetWideString(vIP);
  Parameter(command, 1).SetWideString(vAtiv);
  command.ExecuteUpdate();
}

void TdtmPrincipalClient::_CarregaVariaveis() {
  TDBXCommand& command = PreparedCommand(F_CarregaVariaveisCommand,
                                         u"TdtmPrincipal._CarregaVariaveis");
  command.ExecuteUpdate();
}

bool TdtmPrincipalClient::_AddUsuario(UString vUser, UString vIP) {
  TDBXCommand& command = PreparedCommand(F_AddUsuarioCommand, u"TdtmPrincipal._AddUsuario");
  Parameter(command, 0).SetWideString(vUser);
  Parameter(command, 1).SetWideString(vIP);
  command.ExecuteUpdate();
  return Parameter(command, 2).GetBoolean();
}

bool TdtmPrincipalClient::_EhFeriado(UString Empresa, UString dta) {
  TDBXCommand& command = PreparedCommand(F_EhFeriadoCommand, u"TdtmPrincipal._EhFeriado");
  Parameter(command, 0).SetWideString(Empresa);
  Parameter(command, 1).SetWideString(dta);
  command.ExecuteUpdate();
  return Parameter(command, 2).GetBoolean();
}

TDateTime TdtmPrincipalClient::_GetHorario() {
  TDBXCommand& command = PreparedCommand(F_GetHorarioCommand, u"TdtmPrincipal._GetHorario");
  command.ExecuteUpdate();
  return Parameter(command, 0).GetAsDateTime();
}

Variant TdtmPrincipalClient::_Consultas(UString vSQL) {
  TDBXCommand& command = PreparedCommand(F_ConsultasCommand, u"TdtmPrincipal._Consultas");
  Parameter(command, 0).SetWideString(vSQL);
  command.ExecuteUpdate();
  return Parameter(command, 1).GetAsVariant();
}

std::int32_t TdtmPrincipalClient::_ExecDiretoLOG(UString vSQL) {
  TDBXCommand& command = PreparedCommand(F_ExecDiretoLOGCommand, u"TdtmPrincipal._ExecDiretoLOG");
  Parameter(command, 0).SetWideString(vSQL);
  command.ExecuteUpdate();
  return Parameter(command, 1).GetInt32();
}

std::int32_t TdtmPrincipalClient::_ExecDireto(UString vSQL) {
  TDBXCommand& command = PreparedCommand(F_ExecDiretoCommand, u"TdtmPrincipal._ExecDireto");
  Parameter(command, 0).SetWideString(vSQL);
  command.ExecuteUpdate();
  return Parameter(command, 1).GetInt32();
}

Variant TdtmPrincipalClient::_Salvar(const Variant& CDS, const Variant& DATAS) {
  TDBXCommand& command = PreparedCommand(F_SalvarCommand, u"TdtmPrincipal._Salvar");
  const Variant CDS_copy = CDS;
  Parameter(command, 0).SetAsVariant(CDS_copy);
  const Variant DATAS_copy = DATAS;
  Parameter(command, 1).SetAsVariant(DATAS_copy);
  command.ExecuteUpdate();
  return Parameter(command, 2).GetAsVariant();
}

UString TdtmPrincipalClient::_ProximoDiaUtil(UString Empresa, UString dta) {
  TDBXCommand& command = PreparedCommand(F_ProximoDiaUtilCommand, u"TdtmPrincipal._ProximoDiaUtil");
  Parameter(command, 0).SetWideString(Empresa);
  Parameter(command, 1).SetWideString(dta);
  command.ExecuteUpdate();
  return Parameter(command, 2).GetWideString();
}

Variant TdtmPrincipalClient::_CarregaEmpresa(UString Empresa) {
  TDBXCommand& command = PreparedCommand(F_CarregaEmpresaCommand, u"TdtmPrincipal._CarregaEmpresa");
  Parameter(command, 0).SetWideString(Empresa);
  command.ExecuteUpdate();
  return Parameter(command, 1).GetAsVariant();
}

Variant TdtmPrincipalClient::_CarregaConvenios(UString Empresa) {
  TDBXCommand& command = PreparedCommand(F_CarregaConveniosCommand,
                                         u"TdtmPrincipal._CarregaConvenios");
  Parameter(command, 0).SetWideString(Empresa);
  command.ExecuteUpdate();
  return Parameter(command, 1).GetAsVariant();
}

double TdtmPrincipalClient::_TaxaExpedienteDiversas(UString Empresa, UString Setor,
                                                    UString Exercicio) {
  TDBXCommand& command = PreparedCommand(F_TaxaExpedienteDiversasCommand,
                                         u"TdtmPrincipal._TaxaExpedienteDiversas");
  Parameter(command, 0).SetWideString(Empresa);
  Parameter(command, 1).SetWideString(Setor);
  Parameter(command, 2).SetWideString(Exercicio);
  command.ExecuteUpdate();
  return Parameter(command, 3).GetDouble();
}

std::int32_t TdtmPrincipalClient::_RecuperaRelReceita(UString Empresa, UString Tipo) {
  TDBXCommand& command = PreparedCommand(F_RecuperaRelReceitaCommand,
                                         u"TdtmPrincipal._RecuperaRelReceita");
  Parameter(command, 0).SetWideString(Empresa);
  Parameter(command, 1).SetWideString(Tipo);
  command.ExecuteUpdate();
  return Parameter(command, 2).GetInt32();
}

std::int32_t TdtmPrincipalClient::_RecuperaRecCertidao(UString Empresa, UString Tipo) {
  TDBXCommand& command = PreparedCommand(F_RecuperaRecCertidaoCommand,
                                         u"TdtmPrincipal._RecuperaRecCertidao");
  Parameter(command, 0).SetWideString(Empresa);
  Parameter(command, 1).SetWideString(Tipo);
  command.ExecuteUpdate();
  return Parameter(command, 2).GetInt32();
}

std::int32_t TdtmPrincipalClient::_RecuperaCodTipoCert(UString Empresa, UString Tipo) {
  TDBXCommand& command = PreparedCommand(F_RecuperaCodTipoCertCommand,
                                         u"TdtmPrincipal._RecuperaCodTipoCert");
  Parameter(command, 0).SetWideString(Empresa);
  Parameter(command, 1).SetWideString(Tipo);
  command.ExecuteUpdate();
  return Parameter(command, 2).GetInt32();
}

std::int32_t TdtmPrincipalClient::_RecuperaValidadeCert(UString Empresa, UString Tipo) {
  TDBXCommand& command = PreparedCommand(F_RecuperaValidadeCertCommand,
                                         u"TdtmPrincipal._RecuperaValidadeCert");
  Parameter(command, 0).SetWideString(Empresa);
  Parameter(command, 1).SetWideString(Tipo);
  command.ExecuteUpdate();
  return Parameter(command, 2).GetInt32();
}

bool TdtmPrincipalClient::_CadastroTemDivida(UString Empresa, UString Modulo, UString Cadastro) {
  TDBXCommand& command = PreparedCommand(F_CadastroTemDividaCommand,
                                         u"TdtmPrincipal._CadastroTemDivida");
  Parameter(command, 0).SetWideString(Empresa);
  Parameter(command, 1).SetWideString(Modulo);
  Parameter(command, 2).SetWideString(Cadastro);
  command.ExecuteUpdate();
  return Parameter(command, 3).GetBoolean();
}

std::int32_t TdtmPrincipalClient::_CadastroTemDividaAG(UString Empresa, UString Modulo,
                                                       UString Cadastro) {
  TDBXCommand& command = PreparedCommand(F_CadastroTemDividaAGCommand,
                                         u"TdtmPrincipal._CadastroTemDividaAG");
  Parameter(command, 0).SetWideString(Empresa);
  Parameter(command, 1).SetWideString(Modulo);
  Parameter(command, 2).SetWideString(Cadastro);
  command.ExecuteUpdate();
  return Parameter(command, 3).GetInt32();
}

Variant TdtmPrincipalClient::_RecuperaUnicaDividaAG(UString Empresa, UString Modulo,
                                                    UString Cadastro) {
  TDBXCommand& command = PreparedCommand(F_RecuperaUnicaDividaAGCommand,
                                         u"TdtmPrincipal._RecuperaUnicaDividaAG");
  Parameter(command, 0).SetWideString(Empresa);
  Parameter(command, 1).SetWideString(Modulo);
  Parameter(command, 2).SetWideString(Cadastro);
  command.ExecuteUpdate();
  return Parameter(command, 3).GetAsVariant();
}

std::int32_t TdtmPrincipalClient::_CNPJTemDivida(UString Empresa, UString CNPJ) {
  TDBXCommand& command = PreparedCommand(F_CNPJTemDividaCommand, u"TdtmPrincipal._CNPJTemDivida");
  Parameter(command, 0).SetWideString(Empresa);
  Parameter(command, 1).SetWideString(CNPJ);
  command.ExecuteUpdate();
  return Parameter(command, 2).GetInt32();
}

UString TdtmPrincipalClient::_RecuperaCNPJEmpresa(UString Empresa) {
  TDBXCommand& command = PreparedCommand(F_RecuperaCNPJEmpresaCommand,
                                         u"TdtmPrincipal._RecuperaCNPJEmpresa");
  Parameter(command, 0).SetWideString(Empresa);
  command.ExecuteUpdate();
  return Parameter(command, 1).GetWideString();
}

std::int32_t TdtmPrincipalClient::_TamanhoMascara(UString Tipo, UString Empresa) {
  TDBXCommand& command = PreparedCommand(F_TamanhoMascaraCommand, u"TdtmPrincipal._TamanhoMascara");
  Parameter(command, 0).SetWideString(Tipo);
  Parameter(command, 1).SetWideString(Empresa);
  command.ExecuteUpdate();
  return Parameter(command, 2).GetInt32();
}

UString TdtmPrincipalClient::_MontaMascara(UString Valor, UString Tipo, UString Empresa) {
  TDBXCommand& command = PreparedCommand(F_MontaMascaraCommand, u"TdtmPrincipal._MontaMascara");
  Parameter(command, 0).SetWideString(Valor);
  Parameter(command, 1).SetWideString(Tipo);
  Parameter(command, 2).SetWideString(Empresa);
  command.ExecuteUpdate();
  return Parameter(command, 3).GetWideString();
}

Variant TdtmPrincipalClient::_CarregaLayoutStream(UString Empresa, UString NomeAPL) {
  TDBXCommand& command = PreparedCommand(F_CarregaLayoutStreamCommand,
                                         u"TdtmPrincipal._CarregaLayoutStream");
  Parameter(command, 0).SetWideString(Empresa);
  Parameter(command, 1).SetWideString(NomeAPL);
  command.ExecuteUpdate();
  return Parameter(command, 2).GetAsVariant();
}

Variant TdtmPrincipalClient::_CarregaLayoutStreamWeb(UString Empresa, UString NomeAPL) {
  TDBXCommand& command = PreparedCommand(F_CarregaLayoutStreamWebCommand,
                                         u"TdtmPrincipal._CarregaLayoutStreamWeb");
  Parameter(command, 0).SetWideString(Empresa);
  Parameter(command, 1).SetWideString(NomeAPL);
  command.ExecuteUpdate();
  return Parameter(command, 2).GetAsVariant();
}

UString TdtmPrincipalClient::_NossoNumero(UString empresa, UString banco, UString cedente,
                                          UString codigodivida, UString parcela,
                                          UString nossonumero, UString tipo, UString datavencimento) {
  TDBXCommand& command = PreparedCommand(F_NossoNumeroCommand, u"TdtmPrincipal._NossoNumero");
  Parameter(command, 0).SetWideString(empresa);
  Parameter(command, 1).SetWideString(banco);
  Parameter(command, 2).SetWideString(cedente);
  Parameter(command, 3).SetWideString(codigodivida);
  Parameter(command, 4).SetWideString(parcela);
  Parameter(command, 5).SetWideString(nossonumero);
  Parameter(command, 6).SetWideString(tipo);
  Parameter(command, 7).SetWideString(datavencimento);
  command.ExecuteUpdate();
  return Parameter(command, 8).GetWideString();
}

std::int32_t TdtmPrincipalClient::_SegundoDigito(UString febraagua, UString febraoutros,
                                                 UString tpagua, UString modulo) {
  TDBXCommand& command = PreparedCommand(F_SegundoDigitoCommand, u"TdtmPrincipal._SegundoDigito");
  Parameter(command, 0).SetWideString(febraagua);
  Parameter(command, 1).SetWideString(febraoutros);
  Parameter(command, 2).SetWideString(tpagua);
  Parameter(command, 3).SetWideString(modulo);
  command.ExecuteUpdate();
  return Parameter(command, 4).GetInt32();
}

UString TdtmPrincipalClient::_CodigodebarraArrecadacao(UString SegundoDigito, UString Tipo,
                                                       UString Unica, UString febraban,
                                                       UString FebrabanAgua, UString modulo,
                                                       UString Divida, UString Parcela,
                                                       UString tppar, UString Vencimento,
                                                       UString CNPJ, Currency Valor) {
  TDBXCommand& command = PreparedCommand(F_CodigodebarraArrecadacaoCommand,
                                         u"TdtmPrincipal._CodigodebarraArrecadacao");
  Parameter(command, 0).SetWideString(SegundoDigito);
  Parameter(command, 1).SetWideString(Tipo);
  Parameter(command, 2).SetWideString(Unica);
  Parameter(command, 3).SetWideString(febraban);
  Parameter(command, 4).SetWideString(FebrabanAgua);
  Parameter(command, 5).SetWideString(modulo);
  Parameter(command, 6).SetWideString(Divida);
  Parameter(command, 7).SetWideString(Parcela);
  Parameter(command, 8).SetWideString(tppar);
  Parameter(command, 9).SetWideString(Vencimento);
  Parameter(command, 10).SetWideString(CNPJ);
  Parameter(command, 11).SetAsCurrency(Valor);
  command.ExecuteUpdate();
  return Parameter(command, 12).GetWideString();
}

UString TdtmPrincipalClient::_CodigoDeBarra(UString empresa, UString banco, UString vencimento,
                                            UString codigodivida, UString parcela, UString nnumero,
                                            UString tipo, UString cedente, Currency Valor) {
  TDBXCommand& command = PreparedCommand(F_CodigoDeBarraCommand, u"TdtmPrincipal._CodigoDeBarra");
  Parameter(command, 0).SetWideString(empresa);
  Parameter(command, 1).SetWideString(banco);
  Parameter(command, 2).SetWideString(vencimento);
  Parameter(command, 3).SetWideString(codigodivida);
  Parameter(command, 4).SetWideString(parcela);
  Parameter(command, 5).SetWideString(nnumero);
  Parameter(command, 6).SetWideString(tipo);
  Parameter(command, 7).SetWideString(cedente);
  Parameter(command, 8).SetAsCurrency(Valor);
  command.ExecuteUpdate();
  return Parameter(command, 9).GetWideString();
}

Variant TdtmPrincipalClient::_CarregaOFFLINE(UString tabela) {
  TDBXCommand& command = PreparedCommand(F_CarregaOFFLINECommand, u"TdtmPrincipal._CarregaOFFLINE");
  Parameter(command, 0).SetWideString(tabela);
  command.ExecuteUpdate();
  return Parameter(command, 1).GetAsVariant();
}
}  // namespace wardenix
