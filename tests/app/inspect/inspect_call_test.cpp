// wardenix-inspect call and methods against the trial server, started by the
// test on a port of its own. The results follow the trial server's rules
// (trialserver/catalogue_methods.h): a text result is the call text
// "method(inputs)", an Integer its length, a Double its length over 4, a
// Boolean false when an input is empty, a variant the last variant input or
// else the call text, and the in-out text comes back with "*".
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/app/inspect/inspect_run.h"
#include "tests/support/temp_dir.h"
#include "tests/trialserver/harness/trial_harness.h"
#include "trialserver/versao_table.h"

namespace wardenix {
namespace {

using namespace std::chrono_literals;
using testing::join;
using testing::RunResult;
namespace fs = std::filesystem;

// A trial server with the given options, on an ephemeral port.
class TrialServer {
 public:
  TrialServer(const fs::path& dir, std::vector<std::string> options) {
    const fs::path port_file = dir / join({"port-", std::to_string(++count_)});
    options.insert(options.end(), {"--port", "0", "--exit-after", "120", "--port-file", port_file.string()});
    process_ = std::make_unique<testing::TrialProcess>(testing::trial_server_path(), options);
    port_ = testing::read_port_file(port_file, 20s);
  }
  std::uint16_t port() const { return port_; }
  std::string address() const { return join({"--host 127.0.0.1 --port ", std::to_string(port_)}); }

 private:
  static inline int count_ = 0;
  std::unique_ptr<testing::TrialProcess> process_;
  std::uint16_t port_ = 0;
};

class InspectCall : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(server_.port(), 0); }

  RunResult run(const std::string& arguments) { return testing::run_inspect(dir_.path(), arguments); }
  RunResult call(const std::string& arguments) {
    return run(join({"call ", server_.address(), " ", arguments}));
  }

  std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const fs::path path = dir_.path() / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return testing::native_path(path.string());
  }

  testing::TempDir dir_;
  TrialServer server_{dir_.path(), {}};
};

struct CallCase {
  std::string arguments;  // after "call --host H --port P"
  std::string json;       // the whole output line
};

TEST_F(InspectCall, EachTypeFamilyGoesAndComesBackAsJson) {
  const std::string versao = write("versao.bin", trial::versao_packet(3));
  const std::vector<CallCase> cases = {
      // string arguments and result; the name matched without case
      {"_montamascara 123 CPF \"Sao 1\"",
       R"~({"method":"_MontaMascara","result":"_MontaMascara(123,CPF,Sao 1)"})~"},
      // Integer arguments; a negative one is an argument, not an option
      {"_GeraRelCertidaoPDF 1 2024 C7 /tmp c.pdf 2 -3",
       R"~({"method":"_GeraRelCertidaoPDF","result":"_GeraRelCertidaoPDF(1,2024,C7,/tmp,c.pdf,2,-3)"})~"},
      {"_CNPJTemDivida 1 \"\"", R"~({"method":"_CNPJTemDivida","result":18})~"},
      {"_LocalizaCNT_CNPJ 1 \"\"", R"~({"method":"_LocalizaCNT_CNPJ","result":false})~"},
      {"_TaxaExpedienteDiversas 1 2 3", R"~({"method":"_TaxaExpedienteDiversas","result":7.5})~"},
      {"_GetHorario", R"~({"method":"_GetHorario","result":"2024-02-29T13:45:30.250"})~"},
      {"_Set_UltAtvSM 2024-01-02T03:04:05.5", R"~({"method":"_Set_UltAtvSM"})~"},
      {"_CodigoDeBarra a b c d e f g h -12.5",
       R"~({"method":"_CodigoDeBarra","result":"_CodigoDeBarra(a,b,c,d,e,f,g,h,-12.5)"})~"},
      // the in-out argument, with a byte array (02 array, 11 of bytes, the count, the bytes)
      {"_AtualizaContribuinte hex:0102 CNT-1",
       R"~({"method":"_AtualizaContribuinte","result":51,"out":{"CodCNT":"CNT-1*"}})~"},
      {"_AtualizaBairro base64:AQI=", R"~({"method":"_AtualizaBairro","result":39})~"},
      // variants as JSON, echoed by the server
      {"_Salvar null \"{\\\"currency\\\":\\\"1.5\\\"}\"", R"~({"method":"_Salvar","result":{"currency":"1.5"}})~"},
      {"_Salvar 1 \"[true,\\\"x\\\",2.5,null]\"", R"~({"method":"_Salvar","result":[true,"x",2.5,null]})~"},
      {"_RecuperaCNT_CNPJ 1 00.000", R"~({"method":"_RecuperaCNT_CNPJ","result":"_RecuperaCNT_CNPJ(1,00.000)"})~"},
      // no arguments, no result; a table argument from a packet file
      {"LiberaCurConnection", R"~({"method":"LiberaCurConnection"})~"},
      {join({"sqlAuxAfterClose \"", versao, "\""}), R"~({"method":"sqlAuxAfterClose"})~"},
  };
  for (const CallCase& c : cases) {
    SCOPED_TRACE(c.arguments);
    const RunResult result = call(c.arguments);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, c.json + "\n");
    EXPECT_EQ(result.err, "");
  }
}

TEST_F(InspectCall, ADataPacketPrintsAsThePacketCommandPrintsIt) {
  const std::string versao = write("versao.bin", trial::versao_packet(3));
  const RunResult packet = run(join({"packet \"", versao, "\""}));
  ASSERT_EQ(packet.exit_code, 0);
  const std::string expected = join({R"~({"method":"_Consultas","result":{"packet":)~",
                                     packet.out.substr(0, packet.out.size() - 1), "}}\n"});
  const RunResult consultas = call("_Consultas \"SELECT * FROM GR_VERSAO\"");
  EXPECT_EQ(consultas.exit_code, 0) << consultas.err;
  EXPECT_EQ(consultas.out, expected);
  // A packet sent as a variant comes back the same.
  const RunResult salvar = call(join({"_Salvar null \"@", versao, "\""}));
  EXPECT_EQ(salvar.exit_code, 0) << salvar.err;
  EXPECT_EQ(salvar.out, join({R"~({"method":"_Salvar","result":{"packet":)~",
                              packet.out.substr(0, packet.out.size() - 1), "}}\n"}));
}

struct RefusalCase {
  std::string arguments;  // after "call --host 127.0.0.1 --port 1"
  std::string message;    // part of what standard error says
};

// Refused before any connection: the port given is one nothing listens on.
TEST_F(InspectCall, WhatDoesNotReadIsAUsageError) {
  const std::vector<RefusalCase> cases = {
      {"_Inexistente", "no remote method \"_Inexistente\""},
      {"TdtmPrincipal._Consultas x", "no remote method \"TdtmPrincipal._Consultas\""},
      {"_Consultas", "_Consultas(vSQL: string): OleVariant takes 1 arguments, not 0"},
      {"_Get_IPCliente x", "takes 0 arguments, not 1"},
      {"_GeraRelCertidaoPDF 1 2 3 4 5 dois 7",
       "argument 6 of _GeraRelCertidaoPDF (TipoGuia: Integer): \"dois\" is not an Integer"},
      {"_GeraRelCertidaoPDF 1 2 3 4 5 6 2147483648", "argument 7 of _GeraRelCertidaoPDF (TipoCertidao: Integer)"},
      {"_CodigoDeBarra a b c d e f g h 1.23456", "argument 9 of _CodigoDeBarra (Valor: Currency)"},
      {"_Set_UltAtvSM 2024-02-30", "argument 1 of _Set_UltAtvSM (Value: TDateTime): \"2024-02-30\" is not"},
      {"_AtualizaCidade hello", "argument 1 of _AtualizaCidade (vDados: OleVariant): \"hello\" is not"},
      {"_AtualizaCidade hex:123", "argument 1 of _AtualizaCidade (vDados: OleVariant)"},
      {"sqlAuxBeforeOpen /nonexistent/versao.bin", "argument 1 of sqlAuxBeforeOpen (DataSet: TDataSet)"},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.arguments);
    const RunResult result = run(join({"call --host 127.0.0.1 --port 1 ", c.arguments}));
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
  }
  for (const std::string usage : {"call", "call --port 0 _GetHorario", "call --port 70000 _GetHorario",
                                  "call --host", "call --json _GetHorario", "methods extra",
                                  "methods --port abc", "call --deadline 0 _GetHorario",
                                  "methods --deadline soon", "methods --deadline"}) {
    SCOPED_TRACE(usage);
    const RunResult result = run(usage);
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_NE(result.err.find("usage: wardenix-inspect"), std::string::npos) << result.err;
  }
}

TEST_F(InspectCall, TheServersErrorAndAFailedConnectExitWithOne) {
  TrialServer failing(dir_.path(), {"--mode", "error-call"});
  ASSERT_NE(failing.port(), 0);
  const RunResult error = run(join({"call ", failing.address(), " _Consultas x"}));
  EXPECT_EQ(error.exit_code, 1);
  EXPECT_EQ(error.out, "");
  EXPECT_NE(error.err.find("TdtmPrincipal._Consultas: TDBXError (code "), std::string::npos) << error.err;
  EXPECT_NE(error.err.find("Falha simulada no servidor de testes"), std::string::npos) << error.err;

  TrialServer refusing(dir_.path(), {"--mode", "refuse"});
  ASSERT_NE(refusing.port(), 0);
  for (const std::string command : {"call", "methods"}) {
    const std::string arguments = command == "call" ? " _GetHorario" : "";
    const RunResult refused = run(join({command, " ", refusing.address(), arguments}));
    EXPECT_EQ(refused.exit_code, 1) << command;
    EXPECT_NE(refused.err.find(join({"cannot connect to 127.0.0.1:", std::to_string(refusing.port()), ": "})),
              std::string::npos)
        << refused.err;
  }
}

// Against a server that never answers, the deadline ends the blocked connect
// or call as the watchdogs end it, and says where it found the command.
TEST_F(InspectCall, ADeadlineEndsAConnectOrCallThatNeverAnswers) {
  TrialServer hanging(dir_.path(), {"--mode", "hang"});
  TrialServer hanging_call(dir_.path(), {"--mode", "hang-call"});
  ASSERT_NE(hanging.port(), 0);
  ASSERT_NE(hanging_call.port(), 0);
  const auto at = [](const TrialServer& server) { return join({"127.0.0.1:", std::to_string(server.port())}); };
  struct Case {
    std::string command;  // before the address
    const TrialServer& server;
    std::string arguments;  // after the address
    std::string where;      // what standard error says after "passed "
  };
  const std::vector<Case> cases = {
      {"call", hanging, " _GetHorario", join({"while connecting to ", at(hanging), " (handshake); the connect was ended"})},
      {"methods", hanging, "", join({"while connecting to ", at(hanging), " (handshake); the connect was ended"})},
      {"call", hanging_call, " _GetHorario",
       join({"in TdtmPrincipal._GetHorario on ", at(hanging_call), "; the call was ended"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command + " " + c.where);
    // Short, so that the case ends soon, yet ten times what the steps before
    // the hang take on a slow build (sanitizers, Wine).
    const RunResult result = run(join({c.command, " ", c.server.address(), " --deadline 2000", c.arguments}));
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.out, "");
    // One line (ended by "\r\n" on Windows, where standard error is text).
    EXPECT_EQ(result.err.substr(0, result.err.find_last_not_of("\r\n") + 1),
              join({"wardenix-inspect: the deadline of 2000 ms passed ", c.where}));
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  }
}

TEST_F(InspectCall, MethodsListsTheServersAliases) {
  const RunResult lines = run(join({"methods ", server_.address()}));
  EXPECT_EQ(lines.exit_code, 0) << lines.err;
  for (const char* alias : {"TdtmPrincipal._VerificaTipodaCertidao\n", "\nTdtmPrincipal._Consultas\n",
                            "\nTdtmPrincipal.sqlAuxBeforeOpen\n", "\nTdmPrincipal.AS_GetRecords\n",
                            "\nDSAdmin.GetServerMethods\n"}) {
    EXPECT_NE(lines.out.find(alias), std::string::npos) << alias << lines.out;
  }
  const RunResult json = run(join({"methods ", server_.address(), " --json"}));
  EXPECT_EQ(json.exit_code, 0) << json.err;
  EXPECT_EQ(json.out.rfind(R"~({"methods":["TdtmPrincipal._VerificaTipodaCertidao",)~", 0), 0u) << json.out;
  EXPECT_NE(json.out.find(R"~("TdmPrincipal.AS_Execute","DSAdmin.GetServerMethods"]})~"), std::string::npos)
      << json.out;
}

// Without --host and --port: what the watchdog reads from rez.ini beside
// the program, here a copy of it.
TEST_F(InspectCall, TheAddressDefaultsToRezIniBesideTheProgram) {
  const fs::path folder = dir_.path() / "program";
  fs::create_directory(folder);
  const fs::path program = folder / fs::path(WARDENIX_INSPECT_EXE).filename();
  fs::copy_file(WARDENIX_INSPECT_EXE, program);
  std::ofstream(folder / "rez.ini") << "[rez]\r\nipds=127.0.0.1\r\nPORTADS=" << server_.port() << "\r\n";
  const RunResult result = testing::run_inspect(dir_.path(), "call _Get_IPCliente", program);
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, "{\"method\":\"_Get_IPCliente\",\"result\":\"_Get_IPCliente()\"}\n");
}

}  // namespace
}  // namespace wardenix
