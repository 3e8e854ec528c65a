#pragma once
// TdtmPrincipalClient (unit UClasseDataSnap): the typed client of the remote
// methods that the application server publishes under its server class
// TdtmPrincipal. Each method runs one server-method command on the
// connection it was given: the first call of a method creates and prepares
// the command, every call sets the arguments, executes and reads back the
// in-out arguments and the result. Failures of the command model, the
// server or the transport reach the caller unchanged.
#include <array>
#include <cstddef>
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
  // The cached command of each remote method, one slot per method in
  // catalogue order, which is also the order in which the destructor frees
  // them. A slot stays empty until the first call of its method.
  enum CommandSlot : std::size_t {
    F_VerificaTipodaCertidaoCommand,
    F_GeraCertidaoCommand,
    F_GeraRelCertidaoPDFCommand,
    F_RecuperaCNT_CNPJCommand,
    F_LocalizaCNT_CNPJCommand,
    F_AtualizaContribuinteCommand,
    F_AtualizaLogradouroCommand,
    F_AtualizaBairroCommand,
    F_AtualizaCidadeCommand,
    FsqlAuxAfterCloseCommand,
    FsqlAuxBeforeOpenCommand,
    F_Get_IPClienteCommand,
    F_Set_IPClienteCommand,
    F_Set_UltAtvSMCommand,
    FLiberaCurConnectionCommand,
    F_ReconectarSGBDCommand,
    F_DesativaUsuarioCommand,
    F_RmvUsuarioCommand,
    F_EdtUsuarioCommand,
    F_CarregaVariaveisCommand,
    F_AddUsuarioCommand,
    F_EhFeriadoCommand,
    F_GetHorarioCommand,
    F_ConsultasCommand,
    F_ExecDiretoLOGCommand,
    F_ExecDiretoCommand,
    F_SalvarCommand,
    F_ProximoDiaUtilCommand,
    F_CarregaEmpresaCommand,
    F_CarregaConveniosCommand,
    F_TaxaExpedienteDiversasCommand,
    F_RecuperaRelReceitaCommand,
    F_RecuperaRecCertidaoCommand,
    F_RecuperaCodTipoCertCommand,
    F_RecuperaValidadeCertCommand,
    F_CadastroTemDividaCommand,
    F_CadastroTemDividaAGCommand,
    F_RecuperaUnicaDividaAGCommand,
    F_CNPJTemDividaCommand,
    F_RecuperaCNPJEmpresaCommand,
    F_TamanhoMascaraCommand,
    F_MontaMascaraCommand,
    F_CarregaLayoutStreamCommand,
    F_CarregaLayoutStreamWebCommand,
    F_NossoNumeroCommand,
    F_SegundoDigitoCommand,
    F_CodigodebarraArrecadacaoCommand,
    F_CodigoDeBarraCommand,
    F_CarregaOFFLINECommand,
    kCommandSlots
  };

  // One remote call: the slot's command, created and prepared on first use,
  // gets the arguments at ordinals 0, 1, ... in order and is executed; then
  // the in-out arguments and the result (the ordinal after the last
  // argument) are read back. Defined, with the conversion of each argument
  // and result type, in the .cpp.
  template <typename Result, typename... Arguments>
  Result Call(CommandSlot slot, UStringView text, const Arguments&... arguments);

  TDBXConnection* FDBXConnection;
  bool FInstanceOwner;
  std::array<std::unique_ptr<TDBXCommand>, kCommandSlots> FCommands;
};

}  // namespace wardenix
