#pragma once
// A driver without a wire for tests of the command model: its commands take
// their parameter descriptions and their replies from a script, and record
// what the model writes into the parameter row.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dbx/command.h"
#include "dbx/dbx_connection.h"
#include "dbx/values.h"
#include "runtime/variant_stream.h"

namespace wardenix::test {

struct ParameterSpec {
  std::int32_t data_type;
  std::int32_t direction;
  std::int32_t sub_type = 0;
};

// What the "server" of the fake driver does and what it saw.
struct FakeServer {
  std::vector<ParameterSpec> parameters;
  // The reply row of the next execution, by ordinal; missing means null.
  std::map<std::int32_t, Variant> reply;
  std::vector<std::string> events;
  // Run at each preparation and at each execution (once its row is in
  // `sent`); a failure they raise is the server's.
  std::function<void()> on_prepare;
  std::function<void()> on_execute;
  // Each execution's row as written, one text per value.
  std::vector<std::vector<std::string>> sent;
  int row_reads = 0;
};

class FakeRow final : public TDBXRow {
 public:
  explicit FakeRow(FakeServer& server) : server_(server) {}

  void Clear() { written_.clear(); }
  std::vector<std::string> Written() const { return written_; }
  void Load(std::map<std::int32_t, Variant> reply) { reply_ = std::move(reply); }

  bool IsNull(const TDBXValueType& type) override {
    ++server_.row_reads;
    const auto it = reply_.find(type.Ordinal());
    return it == reply_.end() || it->second.is_null();
  }
  bool GetBoolean(const TDBXValueType& type) override { return at(type).as_bool(); }
  std::int64_t GetInt64(const TDBXValueType& type) override { return at(type).as_int64(); }
  double GetDouble(const TDBXValueType& type) override { return at(type).as_double(); }
  float GetSingle(const TDBXValueType& type) override { return static_cast<float>(at(type).as_double()); }
  void GetDate(const TDBXValueType&, int& year, int& month, int& day) override {
    year = 2024;
    month = 2;
    day = 29;
  }
  std::int32_t GetTime(const TDBXValueType& type) override {
    return static_cast<std::int32_t>(at(type).as_int64());
  }
  TSQLTimeStamp GetTimeStamp(const TDBXValueType&) override { return {2025, 12, 31, 23, 59, 58, 250}; }
  UString GetString(const TDBXValueType& type) override { return at(type).as_string(); }
  std::unique_ptr<ByteSource> GetStream(const TDBXValueType& type) override {
    const auto bytes = at(type).bytes();
    return std::make_unique<MemoryByteSource>(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  }

  void SetNull(const TDBXValueType&) override { written_.push_back("null"); }
  void SetBoolean(const TDBXValueType&, bool v) override { written_.push_back(v ? "true" : "false"); }
  void SetInt32(const TDBXValueType&, std::int32_t v) override {
    written_.push_back("int32 " + std::to_string(v));
  }
  void SetInt64(const TDBXValueType&, std::int64_t v) override {
    written_.push_back("int64 " + std::to_string(v));
  }
  void SetDouble(const TDBXValueType&, double v) override {
    written_.push_back("double " + std::to_string(v));
  }
  void SetSingle(const TDBXValueType&, float v) override {
    written_.push_back("single " + std::to_string(v));
  }
  void SetDate(const TDBXValueType&, int y, int m, int d) override {
    written_.push_back(text("date ", {y, m, d}, "--"));
  }
  void SetTime(const TDBXValueType&, std::int32_t ms) override {
    written_.push_back("time " + std::to_string(ms));
  }
  void SetTimeStamp(const TDBXValueType&, const TSQLTimeStamp& t) override {
    written_.push_back(text("timestamp ",
                            {t.year, t.month, t.day, t.hour, t.minute, t.second,
                             static_cast<long long>(t.fractions)},
                            "-- ::."));
  }
  void SetString(const TDBXValueType&, UStringView v) override { written_.push_back("text " + to_utf8(v)); }
  void SetBcd(const TDBXValueType&, UStringView v) override { written_.push_back("bcd " + to_utf8(v)); }
  void SetStream(const TDBXValueType&, std::span<const std::uint8_t> bytes) override {
    std::string text = "stream";
    for (const std::uint8_t b : bytes) {
      text += ' ';
      text += std::to_string(b);
    }
    written_.push_back(text);
  }
  void SetReader(const TDBXValueType&, TDBXReader&) override { written_.push_back("reader"); }

 private:
  // The numbers with the separators between them, one by one (string
  // concatenation chains trip the cross compiler's overlap warning).
  static std::string text(const char* head, std::initializer_list<long long> numbers,
                          const char* separators) {
    std::string out = head;
    std::size_t i = 0;
    for (const long long n : numbers) {
      if (i > 0) out += separators[i - 1];
      out += std::to_string(n);
      ++i;
    }
    return out;
  }

  const Variant& at(const TDBXValueType& type) {
    ++server_.row_reads;
    return reply_.at(type.Ordinal());
  }

  FakeServer& server_;
  std::vector<std::string> written_;
  std::map<std::int32_t, Variant> reply_;
};

class FakeCommand final : public TDBXCommand {
 public:
  FakeCommand(FakeServer& server, const TDBXContext* context) : TDBXCommand(context), server_(server) {}
  ~FakeCommand() override {
    try {
      Close();
    } catch (...) {
    }
    server_.events.push_back("freed");
  }

  std::unique_ptr<TDBXRow> CreateParameterRow() override { return std::make_unique<FakeRow>(server_); }
  void DerivedOpen() override { server_.events.push_back("open"); }
  void DerivedClose() override { server_.events.push_back("close"); }
  void DerivedPrepare() override {
    server_.events.push_back("prepare " + to_utf8(GetText()));
    if (server_.on_prepare) server_.on_prepare();
    TDBXParameterList& list = GetParameters();
    if (list.Count() > 0) return;
    list.SetCount(static_cast<std::int32_t>(server_.parameters.size()));
    for (std::size_t i = 0; i < server_.parameters.size(); ++i) {
      auto p = std::make_unique<TDBXParameter>(Context());
      p->SetDataType(server_.parameters[i].data_type);
      p->SetSubType(server_.parameters[i].sub_type);
      p->SetParameterDirection(server_.parameters[i].direction);
      list.SetParameter(static_cast<std::int32_t>(i), std::move(p));
      list.GetParameter(static_cast<std::int32_t>(i)).Value();
    }
  }
  std::unique_ptr<TDBXReader> DerivedExecuteQuery() override {
    DerivedExecuteUpdate();
    return nullptr;
  }
  void DerivedExecuteUpdate() override {
    server_.events.push_back("execute");
    FakeRow* row = Row();
    if (row) server_.sent.push_back(row->Written());
    if (server_.on_execute) server_.on_execute();
    if (row) row->Load(server_.reply);
  }
  void DerivedClearParameters() override {
    if (FakeRow* row = Row()) row->Clear();
  }

 private:
  FakeRow* Row() const {
    return ParameterList() ? static_cast<FakeRow*>(ParameterList()->ParameterRow()) : nullptr;
  }
  FakeServer& server_;
};

class FakeConnection final : public TDBXConnection {
 public:
  explicit FakeConnection(FakeServer& server) : server_(server) {}
  DatabaseMetaData ReadDatabaseMetaData() override { return MetaData(); }
  void Close() override {
    CloseCommands();
    server_.events.push_back("disconnect");
  }
  std::unique_ptr<TDBXCommand> CreateDriverCommand(UStringView type) override {
    server_.events.push_back("driver command " + to_utf8(type));
    return std::make_unique<FakeCommand>(server_, &Context());
  }
  void UseMetaData(DatabaseMetaData metadata) { SetMetaData(std::move(metadata)); }

 private:
  FakeServer& server_;
};

// A driver whose every connection is a fake one on `server`.
class FakeDriver final : public TDBXDriver {
 public:
  explicit FakeDriver(FakeServer& server) : server_(server) {}
  TDBXProperties DefaultProperties() const override { return {}; }
  std::unique_ptr<TDBXConnection> Open(const TDBXProperties&, std::shared_ptr<AbortSwitch>) override {
    server_.events.push_back("connect");
    return std::make_unique<FakeConnection>(server_);
  }

 private:
  FakeServer& server_;
};

}  // namespace wardenix::test
