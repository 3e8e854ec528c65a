// The provider link against the trial server over loopback: the dataset's
// fetch and reset call, every provider operation by the server's rules, a
// server error reaching the dataset's caller, and the server's call log.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "datasnap/datasnap_driver.h"
#include "dataset/client_dataset.h"
#include "provider/provider_connection.h"
#include "runtime/errors.h"
#include "tests/support/temp_dir.h"
#include "tests/trialserver/harness/trial_harness.h"

namespace wardenix {
namespace {

using namespace std::chrono_literals;
using testing::TrialProcess;
namespace fs = std::filesystem;

std::vector<std::string> lines_of(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A trial server whose _Consultas answers null, and the window's three
// components connected to it.
class ProviderLoopback : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path port_file = dir_.path() / "port";
    server_ = std::make_unique<TrialProcess>(
        testing::trial_server_path(),
        std::vector<std::string>{"--port", "0", "--exit-after", "120", "--port-file",
                                 port_file.string(), "--mode", "null-result", "--call-log",
                                 call_log_.string()});
    const std::uint16_t port = testing::read_port_file(port_file, 20s);
    ASSERT_NE(port, 0);
    CnxServer.DriverName = u"Datasnap";
    CnxServer.Params = {u"Port=" + to_ustring(port), u"RIDaduvorod=58013742QHZVMTRB",
                        u"HostName=127.0.0.1"};
    dssPrincipal.SetServerClassName(u"TdmPrincipal");
    dssPrincipal.SetSQLConnection(&CnxServer);
    cdsGet_Data.SetProviderName(u"dspAux");
    cdsGet_Data.SetRemoteServer(&dssPrincipal);
  }

  testing::TempDir dir_;
  const fs::path call_log_ = dir_.path() / "calls";
  std::unique_ptr<TrialProcess> server_;
  TSQLConnection CnxServer{default_driver_registry()};
  TDSProviderConnection dssPrincipal{u"dssPrincipal"};
  TClientDataSet cdsGet_Data{u"cdsGet_Data"};
};

TEST_F(ProviderLoopback, TheFetchLoadsTheServersPacketAndTheCloseSendsTheResetCall) {
  cdsGet_Data.Open();
  ASSERT_TRUE(cdsGet_Data.Active());
  ASSERT_NE(cdsGet_Data.DSBase(), nullptr);
  EXPECT_EQ(cdsGet_Data.DSBase()->RowCount(), 3u);
  EXPECT_EQ(cdsGet_Data.FieldDefs().size(), 5u);
  cdsGet_Data.Close();
  EXPECT_FALSE(cdsGet_Data.HasAppServer());
  // A disconnect in between: the next fetch prepares on the new connection.
  CnxServer.SetConnected(false);
  cdsGet_Data.Open();
  EXPECT_TRUE(cdsGet_Data.Active());
  EXPECT_EQ(lines_of(call_log_),
            (std::vector<std::string>{"TdmPrincipal.AS_GetRecords provider=dspAux count=-1 options=1",
                                      "TdmPrincipal.AS_GetRecords provider=dspAux count=0 options=2",
                                      "TdmPrincipal.AS_GetRecords provider=dspAux count=-1 options=1"}));
}

TEST_F(ProviderLoopback, AServerErrorReachesTheDatasetsCallerAsEOleException) {
  cdsGet_Data.SetProviderName(u"dspOutro");
  try {
    cdsGet_Data.Open();
    FAIL() << "the open succeeded";
  } catch (const EOleException& e) {
    EXPECT_EQ(e.Message(), u"Provider n\u00E3o encontrado: dspOutro");
    EXPECT_EQ(e.ErrorCode(), kProviderUnexpected);
  }
  EXPECT_FALSE(cdsGet_Data.Active());
}

// What each operation gives back by the trial server's rules.
TEST_F(ProviderLoopback, EveryOperationReachesItsServerMethod) {
  struct Back {
    std::int32_t count = 0;
    Variant params, owner, result;
  };
  struct Case {
    const char* log_line;
    std::function<AppServerStatus(IAppServer&, Back&)> call;
    std::function<void(const Back&)> check;
  };
  const Variant owner = Variant::from_string(u"dono");
  const Variant bytes = Variant::from_bytes({1, 2, 3});
  const Case cases[] = {
      {"TdmPrincipal.AS_ApplyUpdates",
       [&](IAppServer& s, Back& b) {
         b.count = 4;
         b.owner = owner;
         return s.AS_ApplyUpdates(u"dspAux", bytes, 10, b.count, b.owner, b.result);
       },
       [&](const Back& b) {
         EXPECT_EQ(b.count, 0);
         EXPECT_EQ(b.owner, owner);
         EXPECT_TRUE(b.result.is_null());
       }},
      {"TdmPrincipal.AS_GetRecords provider=dspAux count=2 options=1",
       [&](IAppServer& s, Back& b) {
         b.params = Variant::Null();
         b.owner = owner;
         return s.AS_GetRecords(u"dspAux", 2, b.count, 1, u"", b.params, b.owner, b.result);
       },
       [&](const Back& b) {
         EXPECT_EQ(b.count, 2);
         EXPECT_TRUE(b.params.is_null());
         EXPECT_EQ(b.owner, owner);
         EXPECT_TRUE(b.result.is_byte_array());
       }},
      {"TdmPrincipal.AS_DataRequest",
       [&](IAppServer& s, Back& b) { return s.AS_DataRequest(u"dspAux", bytes, b.result); },
       [&](const Back& b) { EXPECT_EQ(b.result, bytes); }},
      {"TdmPrincipal.AS_GetProviderNames",
       [&](IAppServer& s, Back& b) { return s.AS_GetProviderNames(b.result); },
       [&](const Back& b) {
         EXPECT_EQ(b.result, Variant::from_elements({Variant::from_string(u"dspAux")}));
       }},
      {"TdmPrincipal.AS_GetParams",
       [&](IAppServer& s, Back& b) {
         b.owner = owner;
         return s.AS_GetParams(u"dspAux", b.owner, b.result);
       },
       [&](const Back& b) {
         EXPECT_EQ(b.owner, owner);
         EXPECT_TRUE(b.result.is_null());
       }},
      {"TdmPrincipal.AS_RowRequest",
       [&](IAppServer& s, Back& b) {
         b.owner = owner;
         return s.AS_RowRequest(u"dspAux", bytes, 1, b.owner, b.result);
       },
       [&](const Back& b) {
         EXPECT_EQ(b.owner, owner);
         EXPECT_EQ(b.result, bytes);
       }},
      {"TdmPrincipal.AS_Execute",
       [&](IAppServer& s, Back& b) {
         b.params = Variant::from_int32(5);
         b.owner = owner;
         return s.AS_Execute(u"dspAux", u"DELETE", b.params, b.owner);
       },
       [&](const Back& b) {
         EXPECT_EQ(b.params, Variant::from_int32(5));
         EXPECT_EQ(b.owner, owner);
       }},
  };
  const std::shared_ptr<IAppServer> provider = dssPrincipal.GetServer();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.log_line);
    Back back;
    const AppServerStatus status = c.call(*provider, back);
    ASSERT_FALSE(status.Failed()) << to_utf8(status.ErrorText);
    c.check(back);
    EXPECT_EQ(lines_of(call_log_).back(), c.log_line);
  }
}

}  // namespace
}  // namespace wardenix
