// The two remote methods that take a dataset, called through the proxy
// against a trial server on loopback: the dataset's rows reach the server
// block by block, long values through more_blob, and the reader and dataset
// are freed by the ownership rules of the proxy.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "datasnap/client_connection.h"
#include "dbx/command.h"
#include "dbx/data_types.h"
#include "dbx/values.h"
#include "proxy/dataset_reader.h"
#include "proxy/uclasse_datasnap.h"
#include "tests/trialserver/harness/trial_harness.h"
#include "trialserver/versao_table.h"

namespace wardenix::trial {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A dataset that tells when it is freed.
class WatchedDataSet final : public TClientDataSet {
 public:
  explicit WatchedDataSet(bool& freed) : freed_(freed) {}
  ~WatchedDataSet() override { freed_ = true; }

 private:
  bool& freed_;
};

// One text column, one row: a text longer than a whole block.
class LongTextReader final : public TDBXReader {
 public:
  explicit LongTextReader(UString text) : text_(std::move(text)) {
    type_.SetName(u"Texto");
    type_.SetDataType(TDBXDataTypes::WideStringType);
    value_ = CreateValue(type_);
  }
  std::int32_t ColumnCount() const override { return 1; }
  TDBXValueType& ValueType(std::int32_t) override { return type_; }
  TDBXValue& Value(std::int32_t) override { return *value_; }
  bool Next() override {
    if (done_) return false;
    done_ = true;
    value_->SetWideString(text_);
    return true;
  }

 private:
  UString text_;
  TDBXValueType type_;
  std::unique_ptr<TDBXValue> value_;
  bool done_ = false;
};

class TableMethods : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path port_file = dir_.path() / "port";
    server_ = std::make_unique<testing::TrialProcess>(
        testing::trial_server_path(),
        std::vector<std::string>{"--port", "0", "--exit-after", "120", "--port-file",
                                 port_file.string()});
    const std::uint16_t port = testing::read_port_file(port_file, 20s);
    ASSERT_NE(port, 0);
    connection_ = std::make_unique<TDBXClientConnection>(
        TDBXProperties{{u"HostName", u"127.0.0.1"},
                       {u"Port", to_ustring(port)},
                       {u"DriverName", u"Datasnap"}});
    connection_->Open();
  }

  // A dataset holding GR_VERSAO with `rows` rows.
  static void load(TClientDataSet& dataset, std::uint32_t rows) {
    dataset.SetData(Variant::from_bytes(versao_packet(rows)));
  }

  // What the server answers as rows affected for `reader` given to `method`.
  std::int64_t rows_affected(UStringView method, TDBXReader& reader) {
    auto command = connection_->CreateCommand();
    command->SetCommandType(kServerMethodCommandType);
    command->SetText(method);
    command->Prepare();
    command->GetParameters()[0].Value().SetDBXReader(&reader, false);
    command->ExecuteUpdate();
    return command->GetRowsAffected();
  }

  testing::TempDir dir_;
  std::unique_ptr<testing::TrialProcess> server_;
  std::unique_ptr<TDBXClientConnection> connection_;
};

TEST_F(TableMethods, TheServerReceivesEveryRowAndValueOfTheDataset) {
  // Two thousand rows take more than one block.
  TClientDataSet dataset;
  load(dataset, 2000);
  {
    TdtmPrincipalClient proxy(connection_.get(), false);
    proxy.sqlAuxAfterClose(&dataset);
    proxy.sqlAuxBeforeOpen(&dataset);
  }
  TDBXDataSetReader all_rows(&dataset, false);
  EXPECT_EQ(rows_affected(u"TdtmPrincipal.sqlAuxAfterClose", all_rows), 2000);
  // Five columns, the note blank on odd rows.
  TDBXDataSetReader all_values(&dataset, false);
  EXPECT_EQ(rows_affected(u"TdtmPrincipal.sqlAuxBeforeOpen", all_values), 9000);
  LongTextReader long_text(UString(70000, u'v'));
  EXPECT_EQ(rows_affected(u"TdtmPrincipal.sqlAuxBeforeOpen", long_text), 1);
  TClientDataSet closed;
  TDBXDataSetReader no_rows(&closed, false);
  EXPECT_EQ(rows_affected(u"TdtmPrincipal.sqlAuxAfterClose", no_rows), 0);
}

TEST_F(TableMethods, TheServersMethodListNamesThem) {
  const std::vector<UString> methods = connection_->GetCommands(kServerMethodCommandType);
  for (const char16_t* name : {u"TdtmPrincipal.sqlAuxAfterClose", u"TdtmPrincipal.sqlAuxBeforeOpen"}) {
    EXPECT_NE(std::find(methods.begin(), methods.end(), name), methods.end()) << to_utf8(name);
  }
}

TEST_F(TableMethods, AnOwningProxyFreesEachDatasetWithItsReader) {
  bool first_freed = false;
  bool second_freed = false;
  {
    TdtmPrincipalClient proxy(connection_.get());
    auto* first = new WatchedDataSet(first_freed);
    load(*first, 3);
    proxy.sqlAuxAfterClose(first);
    EXPECT_FALSE(first_freed);  // the parameter still holds its reader
    auto* second = new WatchedDataSet(second_freed);
    load(*second, 2);
    proxy.sqlAuxAfterClose(second);
    EXPECT_TRUE(first_freed);
    EXPECT_FALSE(second_freed);
  }
  EXPECT_TRUE(second_freed);
}

TEST_F(TableMethods, ANonOwningProxyLeavesTheDatasetsAlone) {
  bool freed = false;
  {
    WatchedDataSet dataset(freed);
    load(dataset, 3);
    {
      TdtmPrincipalClient proxy(connection_.get(), false);
      proxy.sqlAuxAfterClose(&dataset);
      proxy.sqlAuxBeforeOpen(&dataset);
    }
    EXPECT_FALSE(freed);
    EXPECT_TRUE(dataset.Active());
  }
  EXPECT_TRUE(freed);
}

}  // namespace
}  // namespace wardenix::trial
