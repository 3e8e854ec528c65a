#pragma once
// TdtmPrincipalClient (unit UClasseDataSnap): the typed client of the remote
// methods that the application server publishes under its server class
// TdtmPrincipal. Each method runs one server-method command on the
// connection it was given: the first call of a method creates and prepares
// the command, every call sets the arguments, executes and reads back the
// in-out arguments and the result. Failures of the command model, the
// server or the transport reach the caller unchanged.
#include <cstdint>
#include <memory>

#include "dataset/client_dataset.h"
#include "dbx/command.h"
#include "dbx/dbx_connection.h"
#include "runtime/currency.h"
#include "runtime/datetime.h"
#include "runtime/variant.h"

namespace wardenix {

class TdtmPrincipalClient {
 public:
  // Raises EInvalidOperation "Connection cannot be nil.  Make sure the
  // connection has been opened." for a null connection. The connection is
  // borrowed: it must outlive the proxy.
  explicit TdtmPrincipalClient(TDBXConnection* ADBXConnection);
  TdtmPrincipalClient(TDBXConnection* ADBXConnection, bool AInstanceOwner);
  TdtmPrincipalClient(const TdtmPrincipalClient&) = delete;
  TdtmPrincipalClient& operator=(const TdtmPrincipalClient&) = delete;
  // Frees the commands in field order, each closing itself on the server.
  ~TdtmPrincipalClient();

  bool InstanceOwner() const { return FInstanceOwner; }

  // The remote methods. A dataset argument is handed over as a table reader
  // that frees the dataset with itself when the proxy is its instance owner.
  std::int32_t _VerificaTipodaCertidao(UString empresa, UString cadastro, UString modulo,
                                       UString datareferencia);
  UString _GeraCertidao(const Variant& DadosCadastro, UString Usuario);
  UString _GeraRelCertidaoPDF(UString Empresa, UString Exercicio, UString CodCertidao,
                              UString CaminhoPDF, UString NomePDF, std::int32_t TipoGuia,
                              std::int32_t TipoCertidao);
  Variant _RecuperaCNT_CNPJ(UString Empresa, UString CNPJ);
  bool _LocalizaCNT_CNPJ(UString Empresa, UString CNPJ);
  std::int32_t _AtualizaContribuinte(const Variant& vDados, UString& CodCNT);
  std::int32_t _AtualizaLogradouro(const Variant& vDados);
  std::int32_t _AtualizaBairro(const Variant& vDados);
  std::int32_t _AtualizaCidade(const Variant& vDados);
  void sqlAuxAfterClose(TClientDataSet* DataSet);
  void sqlAuxBeforeOpen(TClientDataSet* DataSet);
  UString _Get_IPCliente();
  void _Set_IPCliente(UString Value);
  void _Set_UltAtvSM(TDateTime Value);
  void LiberaCurConnection();
  void _ReconectarSGBD();
  void _DesativaUsuario(UString vIP);
  void _RmvUsuario(UString vIP);
  void _EdtUsuario(UString vIP, UString vAtiv);
  void _CarregaVariaveis();
  bool _AddUsuario(UString vUser, UString vIP);
  bool _EhFeriado(UString Empresa, UString dta);
  TDateTime _GetHorario();
  Variant _Consultas(UString vSQL);
  std::int32_t _ExecDiretoLOG(UString vSQL);
  std::int32_t _ExecDireto(UString vSQL);
  Variant _Salvar(const Variant& CDS, const Variant& DATAS);
  UString _ProximoDiaUtil(UString Empresa, UString dta);
  Variant _CarregaEmpresa(UString Empresa);
  Variant _CarregaConvenios(UString Empresa);
  double _TaxaExpedienteDiversas(UString Empresa, UString Setor, UString Exercicio);
  std::int32_t _RecuperaRelReceita(UString Empresa, UString Tipo);
  std::int32_t _RecuperaRecCertidao(UString Empresa, UString Tipo);
  std::int32_t _RecuperaCodTipoCert(UString Empresa, UString Tipo);
  std::int32_t _RecuperaValidadeCert(UString Empresa, UString Tipo);
  bool _CadastroTemDivida(UString Empresa, UString Modulo, UString Cadastro);
  std::int32_t _CadastroTemDividaAG(UString Empresa, UString Modulo, UString Cadastro);
  Variant _RecuperaUnicaDividaAG(UString Empresa, UString Modulo, UString Cadastro);
  std::int32_t _CNPJTemDivida(UString Empresa, UString CNPJ);
  UString _RecuperaCNPJEmpresa(UString Empresa);
  std::int32_t _TamanhoMascara(UString Tipo, UString Empresa);
  UString _MontaMascara(UString Valor, UString Tipo, UString Empresa);
  Variant _CarregaLayoutStream(UString Empresa, UString NomeAPL);
  Variant _CarregaLayoutStreamWeb(UString Empresa, UString NomeAPL);
  UString _NossoNumero(UString empresa, UString banco, UString cedente, UString codigodivida,
                       UString parcela, UString nossonumero, UString tipo, UString datavencimento);
  std::int32_t _SegundoDigito(UString febraagua, UString febraoutros, UString tpagua, UString modulo);
  UString _CodigodebarraArrecadacao(UString SegundoDigito, UString Tipo, UString Unica,
                                    UString febraban, UString FebrabanAgua, UString modulo,
                                    UString Divida, UString Parcela, UString tppar,
                                    UString Vencimento, UString CNPJ, Currency Valor);
  UString _CodigoDeBarra(UString empresa, UString banco, UString vencimento, UString codigodivida,
                         UString parcela, UString nnumero, UString tipo, UString cedente,
                         Currency Valor);
  Variant _CarregaOFFLINE(UString tabela);

 private:
  // The method's command: created, typed, given its text and prepared on the
  // first call. A command whose preparation failed is dropped, so that the
  // next call prepares afresh.
  TDBXCommand& PreparedCommand(std::unique_ptr<TDBXCommand>& field, UStringView text);
  // The value at `ordinal`, from the command's parameter list taken afresh.
  static TDBXValue& Parameter(TDBXCommand& command, std::int32_t ordinal);

  TDBXConnection* FDBXConnection;
  bool FInstanceOwner;
  std::unique_ptr<TDBXCommand> F_VerificaTipodaCertidaoCommand;
  std::unique_ptr<TDBXCommand> F_GeraCertidaoCommand;
  std::unique_ptr<TDBXCommand> F_GeraRelCertidaoPDFCommand;
  std::unique_ptr<TDBXCommand> F_RecuperaCNT_CNPJCommand;
  std::unique_ptr<TDBXCommand> F_LocalizaCNT_CNPJCommand;
  std::unique_ptr<TDBXCommand> F_AtualizaContribuinteCommand;
  std::unique_ptr<TDBXCommand> F_AtualizaLogradouroCommand;
  std::unique_ptr<TDBXCommand> F_AtualizaBairroCommand;
  std::unique_ptr<TDBXCommand> F_AtualizaCidadeCommand;
  std::unique_ptr<TDBXCommand> FsqlAuxAfterCloseCommand;
  std::unique_ptr<TDBXCommand> FsqlAuxBeforeOpenCommand;
  std::unique_ptr<TDBXCommand> F_Get_IPClienteCommand;
  std::unique_ptr<TDBXCommand> F_Set_IPClienteCommand;
  std::unique_ptr<TDBXCommand> F_Set_UltAtvSMCommand;
  std::unique_ptr<TDBXCommand> FLiberaCurConnectionCommand;
  std::unique_ptr<TDBXCommand> F_ReconectarSGBDCommand;
  std::unique_ptr<TDBXCommand> F_DesativaUsuarioCommand;
  std::unique_ptr<TDBXCommand> F_RmvUsuarioCommand;
  std::unique_ptr<TDBXCommand> F_EdtUsuarioCommand;
  std::unique_ptr<TDBXCommand> F_CarregaVariaveisCommand;
  std::unique_ptr<TDBXCommand> F_AddUsuarioCommand;
  std::unique_ptr<TDBXCommand> F_EhFeriadoCommand;
  std::unique_ptr<TDBXCommand> F_GetHorarioCommand;
  std::unique_ptr<TDBXCommand> F_ConsultasCommand;
  std::unique_ptr<TDBXCommand> F_ExecDiretoLOGCommand;
  std::unique_ptr<TDBXCommand> F_ExecDiretoCommand;
  std::unique_ptr<TDBXCommand> F_SalvarCommand;
  std::unique_ptr<TDBXCommand> F_ProximoDiaUtilCommand;
  std::unique_ptr<TDBXCommand> F_CarregaEmpresaCommand;
  std::unique_ptr<TDBXCommand> F_CarregaConveniosCommand;
  std::unique_ptr<TDBXCommand> F_TaxaExpedienteDiversasCommand;
  std::unique_ptr<TDBXCommand> F_RecuperaRelReceitaCommand;
  std::unique_ptr<TDBXCommand> F_RecuperaRecCertidaoCommand;
  std::unique_ptr<TDBXCommand> F_RecuperaCodTipoCertCommand;
  std::unique_ptr<TDBXCommand> F_RecuperaValidadeCertCommand;
  std::unique_ptr<TDBXCommand> F_CadastroTemDividaCommand;
  std::unique_ptr<TDBXCommand> F_CadastroTemDividaAGCommand;
  std::unique_ptr<TDBXCommand> F_RecuperaUnicaDividaAGCommand;
  std::unique_ptr<TDBXCommand> F_CNPJTemDividaCommand;
  std::unique_ptr<TDBXCommand> F_RecuperaCNPJEmpresaCommand;
  std::unique_ptr<TDBXCommand> F_TamanhoMascaraCommand;
  std::unique_ptr<TDBXCommand> F_MontaMascaraCommand;
  std::unique_ptr<TDBXCommand> F_CarregaLayoutStreamCommand;
  std::unique_ptr<TDBXCommand> F_CarregaLayoutStreamWebCommand;
  std::unique_ptr<TDBXCommand> F_NossoNumeroCommand;
  std::unique_ptr<TDBXCommand> F_SegundoDigitoCommand;
  std::unique_ptr<TDBXCommand> F_CodigodebarraArrecadacaoCommand;
  std::unique_ptr<TDBXCommand> F_CodigoDeBarraCommand;
  std::unique_ptr<TDBXCommand> F_CarregaOFFLINECommand;
};

}  // namespace wardenix
