// The remote method catalogue end to end: every method called through the
// typed proxy over loopback against the trial server's protocol session, with
// the answers the trial server's rules give (trialserver/catalogue_methods.h):
// a text result is the call text "method(inputs)", an Integer its length, a
// Double its length over 4, a Boolean false when an input is empty, a variant
// the last variant input or else the call text, and the in-out text comes
// back with "*".
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <thread>

#include "datasnap/client_connection.h"
#include "mainloop/clock.h"
#include "proxy/uclasse_datasnap.h"
#include "runtime/errors.h"
#include "trialserver/protocol_session.h"
#include "trialserver/socket.h"

namespace wardenix {

// Readable answers in failure messages.
void PrintTo(const Variant& value, std::ostream* out) {
  switch (value.type()) {
    case varEmpty: *out << "(nothing)"; return;
    case varNull: *out << "Null"; return;
    case varOleStr: *out << '"' << to_utf8(value.as_string()) << '"'; return;
    case varBoolean: *out << (value.as_bool() ? "true" : "false"); return;
    case varDouble:
    case varDate: *out << value.as_double(); return;
    default: break;
  }
  if (value.is_array()) {
    *out << "[";
    for (std::size_t i = 0; i < value.array()->count(); ++i) {
      if (i > 0) *out << ", ";
      PrintTo(value.array()->element(i), out);
    }
    *out << "]";
    return;
  }
  *out << "type " << value.type() << ": " << value.as_int64();
}

namespace {

using namespace std::chrono_literals;

// The trial server's protocol session on an ephemeral loopback port, serving
// the one connection of the test on a thread of its own.
class LoopbackTrialServer {
 public:
  LoopbackTrialServer() {
    if (!listener_.open(0)) return;
    thread_ = std::thread([this] {
      const auto connection = listener_.accept_within(Millis(60000));
      if (connection) session_(*connection);
    });
  }
  ~LoopbackTrialServer() {
    if (thread_.joinable()) thread_.join();
  }
  std::uint16_t Port() const { return listener_.port(); }

 private:
  std::unique_ptr<Clock> clock_ = make_system_clock();
  trial::Session session_ = trial::MakeProtocolSession(trial::TrialOptions{}, *clock_);
  trial::Listener listener_;
  std::thread thread_;
};

struct CatalogueOverLoopback : ::testing::Test {
  void SetUp() override {
    ASSERT_NE(server.Port(), 0);
    connection.Open();
  }
  void TearDown() override { connection.Close(); }  // ends the server's session

  LoopbackTrialServer server;
  TDBXClientConnection connection{TDBXProperties{{u"HostName", u"127.0.0.1"},
                                                 {u"Port", to_ustring(server.Port())},
                                                 {u"DriverName", u"Datasnap"}}};
};

// Every result as a variant, so that one table holds them all.
Variant answer(const UString& v) { return Variant::from_string(v); }
Variant answer(std::int32_t v) { return Variant::from_int32(v); }
Variant answer(bool v) { return Variant::from_bool(v); }
Variant answer(double v) { return Variant::from_double(v); }
Variant answer(TDateTime v) { return Variant::from_date(v); }
Variant answer(Variant v) { return v; }

// The Integer and Double results count the call text.
std::int32_t length(std::u16string_view call_text) { return static_cast<std::int32_t>(call_text.size()); }

struct Case {
  const char* method;
  // Calls the method; the result (unassigned for none), or for the method with
  // an in-out argument the result and the argument's value after the call.
  std::function<Variant(TdtmPrincipalClient&)> call;
  Variant expected;
};

const Variant kNone;
const Variant kBytes = Variant::from_bytes({1, 2, 3});
// 03, the count as 8 bytes, the bytes.
constexpr char16_t kBytesHex[] = u"030300000000000000010203";
// 02, type 3, the value 5.
const Variant kFive = Variant::from_int32(5);
constexpr char16_t kFiveHex[] = u"020300000005000000";

const UString kLongText(40000, u'x');  // pulled with more_blob both ways

std::vector<Case> catalogue_cases() {
  using P = TdtmPrincipalClient;
  return {
      {"_VerificaTipodaCertidao",
       [](P& p) { return answer(p._VerificaTipodaCertidao(u"1", u"2", u"3", u"4")); },
       answer(length(u"_VerificaTipodaCertidao(1,2,3,4)"))},
      {"_GeraCertidao", [](P& p) { return answer(p._GeraCertidao(kFive, u"ana")); },
       answer(u"_GeraCertidao(" + UString(kFiveHex) + u",ana)")},
      {"_GeraRelCertidaoPDF",
       [](P& p) { return answer(p._GeraRelCertidaoPDF(u"1", u"2024", u"C7", u"/tmp", u"c.pdf", 2, -3)); },
       answer(UString(u"_GeraRelCertidaoPDF(1,2024,C7,/tmp,c.pdf,2,-3)"))},
      {"_RecuperaCNT_CNPJ", [](P& p) { return answer(p._RecuperaCNT_CNPJ(u"1", u"00.000")); },
       answer(UString(u"_RecuperaCNT_CNPJ(1,00.000)"))},
      {"_LocalizaCNT_CNPJ", [](P& p) { return answer(p._LocalizaCNT_CNPJ(u"1", u"00.000")); },
       answer(true)},
      {"_AtualizaContribuinte",
       [](P& p) {
         UString cod = u"CNT-1";
         const std::int32_t result = p._AtualizaContribuinte(kBytes, cod);
         return Variant::from_elements({answer(result), answer(cod)});
       },
       Variant::from_elements(
           {answer(length(u"_AtualizaContribuinte(" + UString(kBytesHex) + u",CNT-1)")),
            answer(UString(u"CNT-1*"))})},
      {"_AtualizaLogradouro", [](P& p) { return answer(p._AtualizaLogradouro(kBytes)); },
       answer(length(u"_AtualizaLogradouro(" + UString(kBytesHex) + u")"))},
      {"_AtualizaBairro", [](P& p) { return answer(p._AtualizaBairro(kFive)); },
       answer(length(u"_AtualizaBairro(" + UString(kFiveHex) + u")"))},
      {"_AtualizaCidade", [](P& p) { return answer(p._AtualizaCidade(Variant::Null())); },
       answer(length(u"_AtualizaCidade(null)"))},
      // The two dataset methods, sqlAuxAfterClose and sqlAuxBeforeOpen, take
      // their rows here once the server reads input tables.
      {"_Get_IPCliente", [](P& p) { return answer(p._Get_IPCliente()); },
       answer(UString(u"_Get_IPCliente()"))},
      {"_Set_IPCliente", [](P& p) { p._Set_IPCliente(u"10.0.0.1"); return kNone; }, kNone},
      {"_Set_UltAtvSM",
       [](P& p) { p._Set_UltAtvSM(encode_date_time({2024, 7, 1, 8, 30, 0, 5})); return kNone; },
       kNone},
      {"LiberaCurConnection", [](P& p) { p.LiberaCurConnection(); return kNone; }, kNone},
      {"_ReconectarSGBD", [](P& p) { p._ReconectarSGBD(); return kNone; }, kNone},
      {"_DesativaUsuario", [](P& p) { p._DesativaUsuario(u"10.0.0.1"); return kNone; }, kNone},
      {"_RmvUsuario", [](P& p) { p._RmvUsuario(u"10.0.0.1"); return kNone; }, kNone},
      {"_EdtUsuario", [](P& p) { p._EdtUsuario(u"10.0.0.1", u"S"); return kNone; }, kNone},
      {"_CarregaVariaveis", [](P& p) { p._CarregaVariaveis(); return kNone; }, kNone},
      {"_AddUsuario", [](P& p) { return answer(p._AddUsuario(u"ana", u"10.0.0.1")); }, answer(true)},
      {"_EhFeriado", [](P& p) { return answer(p._EhFeriado(u"1", u"")); }, answer(false)},
      {"_GetHorario", [](P& p) { return answer(p._GetHorario()); },
       answer(encode_date_time({2024, 2, 29, 13, 45, 30, 250}))},
      {"_ExecDiretoLOG", [](P& p) { return answer(p._ExecDiretoLOG(u"DELETE FROM T")); },
       answer(length(u"_ExecDiretoLOG(DELETE FROM T)"))},
      {"_ExecDireto", [](P& p) { return answer(p._ExecDireto(u"\u00C7\u20AC")); },
       answer(length(u"_ExecDireto(\u00C7\u20AC)"))},
      {"_Salvar", [](P& p) { return answer(p._Salvar(kBytes, kFive)); }, kFive},
      {"_Salvar", [](P& p) { return answer(p._Salvar(kFive, Variant::Null())); }, Variant::Null()},
      {"_ProximoDiaUtil", [](P& p) { return answer(p._ProximoDiaUtil(u"1", u"31/12/2024")); },
       answer(UString(u"_ProximoDiaUtil(1,31/12/2024)"))},
      {"_CarregaEmpresa", [](P& p) { return answer(p._CarregaEmpresa(u"1")); },
       answer(UString(u"_CarregaEmpresa(1)"))},
      {"_CarregaConvenios", [](P& p) { return answer(p._CarregaConvenios(u"1")); },
       answer(UString(u"_CarregaConvenios(1)"))},
      {"_TaxaExpedienteDiversas",
       [](P& p) { return answer(p._TaxaExpedienteDiversas(u"1", u"FISCAL", u"2024")); },
       answer(length(u"_TaxaExpedienteDiversas(1,FISCAL,2024)") / 4.0)},
      {"_RecuperaRelReceita", [](P& p) { return answer(p._RecuperaRelReceita(u"1", u"A")); },
       answer(length(u"_RecuperaRelReceita(1,A)"))},
      {"_RecuperaRecCertidao", [](P& p) { return answer(p._RecuperaRecCertidao(u"1", u"B")); },
       answer(length(u"_RecuperaRecCertidao(1,B)"))},
      {"_RecuperaCodTipoCert", [](P& p) { return answer(p._RecuperaCodTipoCert(u"1", u"C")); },
       answer(length(u"_RecuperaCodTipoCert(1,C)"))},
      {"_RecuperaValidadeCert", [](P& p) { return answer(p._RecuperaValidadeCert(u"1", u"D")); },
       answer(length(u"_RecuperaValidadeCert(1,D)"))},
      {"_CadastroTemDivida",
       [](P& p) { return answer(p._CadastroTemDivida(u"1", u"IPTU", u"42")); }, answer(true)},
      {"_CadastroTemDividaAG",
       [](P& p) { return answer(p._CadastroTemDividaAG(u"1", u"IPTU", u"42")); },
       answer(length(u"_CadastroTemDividaAG(1,IPTU,42)"))},
      {"_RecuperaUnicaDividaAG",
       [](P& p) { return answer(p._RecuperaUnicaDividaAG(u"1", u"IPTU", u"42")); },
       answer(UString(u"_RecuperaUnicaDividaAG(1,IPTU,42)"))},
      {"_CNPJTemDivida", [](P& p) { return answer(p._CNPJTemDivida(u"1", u"")); },
       answer(length(u"_CNPJTemDivida(1,)"))},
      {"_RecuperaCNPJEmpresa", [](P& p) { return answer(p._RecuperaCNPJEmpresa(kLongText)); },
       answer(u"_RecuperaCNPJEmpresa(" + kLongText + u")")},
      {"_TamanhoMascara", [](P& p) { return answer(p._TamanhoMascara(u"CPF", u"1")); },
       answer(length(u"_TamanhoMascara(CPF,1)"))},
      {"_MontaMascara", [](P& p) { return answer(p._MontaMascara(u"123", u"CPF", u"1")); },
       answer(UString(u"_MontaMascara(123,CPF,1)"))},
      {"_CarregaLayoutStream", [](P& p) { return answer(p._CarregaLayoutStream(u"1", u"APL")); },
       answer(UString(u"_CarregaLayoutStream(1,APL)"))},
      {"_CarregaLayoutStreamWeb",
       [](P& p) { return answer(p._CarregaLayoutStreamWeb(u"1", u"APL")); },
       answer(UString(u"_CarregaLayoutStreamWeb(1,APL)"))},
      {"_NossoNumero",
       [](P& p) {
         return answer(p._NossoNumero(u"e", u"b", u"c", u"d", u"p", u"n", u"t", u"v"));
       },
       answer(UString(u"_NossoNumero(e,b,c,d,p,n,t,v)"))},
      {"_SegundoDigito", [](P& p) { return answer(p._SegundoDigito(u"a", u"o", u"t", u"10")); },
       answer(length(u"_SegundoDigito(a,o,t,10)"))},
      {"_CodigodebarraArrecadacao",
       [](P& p) {
         return answer(p._CodigodebarraArrecadacao(u"0", u"1", u"2", u"3", u"4", u"5", u"6", u"7",
                                                   u"8", u"9", u"10", Currency{1234500}));
       },
       answer(UString(u"_CodigodebarraArrecadacao(0,1,2,3,4,5,6,7,8,9,10,123.45)"))},
      {"_CodigoDeBarra",
       [](P& p) {
         return answer(p._CodigoDeBarra(u"e", u"b", u"v", u"d", u"p", u"n", u"t", u"c",
                                        Currency{-5}));
       },
       answer(UString(u"_CodigoDeBarra(e,b,v,d,p,n,t,c,-0.0005)"))},
      {"_CarregaOFFLINE", [](P& p) { return answer(p._CarregaOFFLINE(u"GR_VERSAO")); },
       answer(UString(u"_CarregaOFFLINE(GR_VERSAO)"))},
  };
}

TEST_F(CatalogueOverLoopback, EveryMethodAnswersByTheRulesOfItsTypes) {
  TdtmPrincipalClient proxy(&connection);
  // Twice: the second round runs every command prepared in the first.
  for (int round = 0; round < 2; ++round) {
    for (const Case& c : catalogue_cases()) {
      SCOPED_TRACE(std::string(c.method) + (round == 0 ? "" : ", prepared"));
      try {
        EXPECT_EQ(c.call(proxy), c.expected);
      } catch (const TDBXError& error) {
        ADD_FAILURE() << "TDBXError " << error.ErrorCode() << ": " << to_utf8(error.Message());
      }
    }
  }
}

// _Consultas keeps the probe's answer: the GR_VERSAO packet.
TEST_F(CatalogueOverLoopback, ConsultasStillAnswersThePacket) {
  TdtmPrincipalClient proxy(&connection);
  EXPECT_TRUE(proxy._Consultas(u"SELECT * FROM GR_VERSAO").is_byte_array());
}

TEST_F(CatalogueOverLoopback, TransactionsBeginAndEndThroughTheConnection) {
  const auto first = connection.BeginTransaction(2);
  const auto second = connection.BeginTransaction(2);
  EXPECT_EQ(first.handle, 1);
  EXPECT_EQ(second.handle, 2);
  connection.Commit(first);
  connection.Rollback(second);
  try {
    connection.Commit(first);
    FAIL() << "a transaction ends once";
  } catch (const TDBXError& error) {
    EXPECT_EQ(error.ErrorCode(), 16);
  }
  // The connection goes on after the error.
  TdtmPrincipalClient proxy(&connection);
  EXPECT_EQ(proxy._MontaMascara(u"1", u"2", u"3"), u"_MontaMascara(1,2,3)");
}

}  // namespace
}  // namespace wardenix
