#pragma once
// A main window on a virtual clock, with stand-ins for the machine.
#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/variant_stream.h"
#include "dbx/data_types.h"
#include "dbx/dbx_connection.h"
#include "runtime/errors.h"
#include "tests/dataset/packet_writer.h"
#include "tests/dbx/fake_driver.h"
#include "mainloop/event_loop.h"
#include "mainloop/virtual_clock.h"
#include "supervisor/application.h"
#include "supervisor/principal_form.h"
#include "supervisor/program.h"
#include "sysops/host_info.h"
#include "sysops/system_ops.h"

namespace wardenix::testing {

// The supervised server as the stand-ins see it: a process that runs or not,
// and how it treats a connection. Every action is recorded with its time.
struct StandInServer {
  enum class Mode { Accept, Refuse, Hang };
  // How the server answers the probe's remote call.
  enum class Call { Answer, Null, Fail, Hang };

  explicit StandInServer(Clock& on) : clock(on) {}

  void record(const std::string& what) {
    std::lock_guard lock(mutex);
    events.emplace_back(clock.now().count(), what);
  }
  std::vector<std::pair<long long, std::string>> recorded() {
    std::lock_guard lock(mutex);
    return events;
  }

  Clock& clock;
  std::mutex mutex;
  bool running = false;
  Mode mode = Mode::Accept;     // while running
  Mode launched_mode = Mode::Accept;
  Call call = Call::Answer;
  // How it answers the provider link's AS_GetRecords: Null is not used.
  Call provider_call = Call::Answer;
  bool unkillable = false;      // another user's process: the kill is refused
  bool ends_at_start = false;   // a launched server ends at once (it cannot listen)
  bool cannot_start = false;    // its program file is missing: no launch starts it
  bool outlives_kill = false;   // ordered to end, it goes on running
  std::vector<std::pair<long long, std::string>> events;
  // Trips the abort of connects that hang, as killing the server breaks them.
  std::vector<std::shared_ptr<AbortSwitch>> hanging;
};

class StandInOps : public SystemOps {
 public:
  StandInServer* server = nullptr;

  std::int32_t QueryServiceState(UStringView service, UStringView machine) override {
    std::lock_guard lock(mutex);
    queries.push_back(to_utf8(service) + "@" + to_utf8(machine));
    const auto it = services.find(UString(service));
    return it == services.end() ? -1 : it->second;
  }
  std::uint32_t VerificaProcesso(UStringView name) override {
    if (!server) return 0;
    std::lock_guard lock(server->mutex);
    return server->running && name == u"DAZEVAVIZ.EXE" ? kServerPid : 0;
  }
  LaunchOutcome LaunchProgram(UStringView command_line) override {
    if (!server) return {false, 0, kNoSuchFile};
    server->record("launch " + to_utf8(command_line));
    std::lock_guard lock(server->mutex);
    if (server->cannot_start) return {false, 0, kNoSuchFile};
    server->running = !server->ends_at_start;
    server->mode = server->launched_mode;
    return {true, kServerPid, 0};
  }
  TerminationReport ForceTerminateServer() override {
    if (!server) return {};
    server->record("kill");
    std::vector<std::shared_ptr<AbortSwitch>> broken;
    bool was_running = false;
    {
      std::lock_guard lock(server->mutex);
      was_running = server->running;
      if (server->unkillable) return {{{kServerPid, false, kNotPermitted}}};
      if (server->outlives_kill) return {{{kServerPid, true, 0}}};
      server->running = false;
      broken.swap(server->hanging);
    }
    for (const auto& a : broken) a->Trip();
    if (!was_running) return {};
    return {{{kServerPid, true, 0}}};
  }
  bool ProcessRunning(std::uint32_t pid) override {
    if (!server || pid != kServerPid) return false;
    std::lock_guard lock(server->mutex);
    return server->running;
  }

  static constexpr std::uint32_t kServerPid = 4242;
  // The system's codes as the report carries them (their texts vary).
#ifdef _WIN32
  static constexpr int kNoSuchFile = 2, kNotPermitted = 5;
#else
  static constexpr int kNoSuchFile = ENOENT, kNotPermitted = EPERM;
#endif

  void set_service(const UString& name, std::int32_t state) {
    std::lock_guard lock(mutex);
    services[name] = state;
  }

  std::mutex mutex;
  std::map<UString, std::int32_t> services;
  std::vector<std::string> queries;
};

class StandInHost : public HostInfo {
 public:
  UString executable_path() override { return directory + u"wardenix.exe"; }
  std::optional<DateTimeParts> file_date(UStringView path) override {
    const auto it = file_dates.find(UString(path));
    if (it == file_dates.end()) return std::nullopt;
    return it->second;
  }
  std::optional<UString> executable_version() override { return version; }
  FormatSettings format_settings() override { return formats; }

  UString directory = u"C:\\W\\";
  std::map<UString, DateTimeParts> file_dates = {
      {u"C:\\W\\varudedizerazidad.exe", {2015, 9, 30, 16, 11, 8, 0}}};
  std::optional<UString> version = u"7.5.14.1";
  FormatSettings formats;
};

// A driver whose connections go to the stand-in server.
class StandInDriver : public TDBXDriver {
 public:
  explicit StandInDriver(StandInServer& server) : server_(server) {}

  TDBXProperties DefaultProperties() const override {
    return TDBXProperties{{u"HostName", u"localhost"}, {u"Port", u"211"}};
  }

  std::unique_ptr<TDBXConnection> Open(const TDBXProperties& properties,
                                       std::shared_ptr<AbortSwitch> abort) override {
    StandInServer::Mode mode;
    bool running;
    {
      std::lock_guard lock(server_.mutex);
      running = server_.running;
      mode = server_.mode;
    }
    server_.record("connect " + to_utf8(properties.GetValue(u"HostName")) + ":" +
                   to_utf8(properties.GetValue(u"Port")));
    if (!running || mode == StandInServer::Mode::Refuse) throw TDBXError(21, u"");
    if (mode == StandInServer::Mode::Hang) {
      auto woken = std::shared_ptr<WakeSignal>(server_.clock.make_signal());
      abort->Attach([woken] { woken->set(); });
      {
        std::lock_guard lock(server_.mutex);
        server_.hanging.push_back(abort);
      }
      woken->wait_until(kNoDeadline);
      abort->Detach();
      server_.record("hang ended");
      throw TDBXError(21, u"");
    }
    return std::make_unique<Connection>(server_, abort);
  }

  // Its commands are the provider link's: each execution of AS_GetRecords
  // is recorded with its count and options.
  // Its commands are the server's methods that the window calls: the
  // probe's TdtmPrincipal._Consultas, recorded as "query SQL", and the
  // provider link's, each execution of AS_GetRecords recorded with its count
  // and options. They share one scripted server: the command prepared sets
  // the parameters, and an execution is told apart by the values it sends.
  struct Connection : TDBXConnection {
    Connection(StandInServer& s, std::shared_ptr<AbortSwitch> a) : server(s), abort(std::move(a)) {
      methods.on_prepare = [this] { describe(methods.events.back()); };
      methods.on_execute = [this] { answer(methods.sent.back()); };
    }
    ~Connection() override { CloseCommands(); }
    DatabaseMetaData ReadDatabaseMetaData() override { return {}; }
    void Close() override { server.record("disconnect"); }
    std::unique_ptr<TDBXCommand> CreateDriverCommand(UStringView) override {
      return std::make_unique<test::FakeCommand>(methods, &Context());
    }

    void describe(const std::string& prepared) {
      using namespace TDBXDataTypes;
      constexpr std::int32_t in = 1, in_out = 3, result = 4;
      if (prepared == "prepare TdtmPrincipal._Consultas") {
        methods.parameters = {{WideStringType, in}, {VariantType, result}};
      } else {
        methods.parameters = {{WideStringType, in}, {Int32Type, in},       {Int32Type, in_out},
                              {Int32Type, in},      {WideStringType, in},  {VariantType, in_out},
                              {VariantType, in_out}, {VariantType, result}};
      }
    }

    // The probe's call sends the text and its empty result; the provider's
    // all eight of its values.
    void answer(const std::vector<std::string>& row) {
      if (row.size() == 2) {
        query(row.front().substr(5));  // "text SQL"
      } else {
        get_records(row);
      }
    }

    void query(const std::string& sql) {
      server.record("query " + sql);
      StandInServer::Call call;
      {
        std::lock_guard lock(server.mutex);
        call = server.call;
      }
      switch (call) {
        case StandInServer::Call::Answer:
          methods.reply = {{1, as_result(Variant::from_bytes(one_row_packet()))}};
          return;
        case StandInServer::Call::Null:
          methods.reply = {{1, as_result(Variant::Null())}};
          return;
        case StandInServer::Call::Fail:
          throw TDBXError(0, u"query failed");
        case StandInServer::Call::Hang:
          break;
      }
      hang(server, abort, "call broken");
    }

    void get_records(const std::vector<std::string>& row) {
      server.record("AS_GetRecords " + row.at(1).substr(6) + " " + row.at(3).substr(6));
      StandInServer::Call call;
      {
        std::lock_guard lock(server.mutex);
        call = server.provider_call;
      }
      if (call == StandInServer::Call::Fail) throw TDBXError(0, u"provider failed");
      if (call == StandInServer::Call::Hang) hang(server, abort, "provider call broken");
      methods.reply = {{2, Variant::from_int32(1)},
                       {7, as_result(Variant::from_bytes(one_row_packet()))}};
    }

    // An OleVariant value as a reply row carries it.
    static Variant as_result(const Variant& value) { return Variant::from_bytes(WriteOleVariant(value)); }

    StandInServer& server;
    std::shared_ptr<AbortSwitch> abort;
    test::FakeServer methods;
  };

  // Waits until the connection's abort is tripped (by a kill or a
  // disconnect), then fails as a broken read does.
  [[noreturn]] static void hang(StandInServer& server, const std::shared_ptr<AbortSwitch>& abort,
                                const std::string& what) {
    auto woken = std::shared_ptr<WakeSignal>(server.clock.make_signal());
    abort->Attach([woken] { woken->set(); });
    {
      std::lock_guard lock(server.mutex);
      server.hanging.push_back(abort);
    }
    woken->wait_until(kNoDeadline);
    abort->Detach();
    server.record(what);
    throw TDBXError(0, u"Read error");
  }

 private:
  static std::vector<std::uint8_t> one_row_packet() {
    using namespace wardenix::test;
    PacketWriter w(TableSpec{{column("VERSAO", 1, 4)}, {}});
    w.begin_row(1).value(le(7, 4)).end_row();
    const Bytes bytes = w.finish();
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
  }

  StandInServer& server_;
};

// What a main window runs on: a virtual clock and its loop, and stand-ins
// for the machine and the server. A test with several windows in a row
// makes one of these for each.
struct StandInWorld {
  VirtualClock clock;  // virtual time 0 is 2026-01-01 00:00:00
  EventLoop loop{clock};
  Application app{loop};
  StandInServer server{clock};
  StandInOps ops;
  StandInHost host;
  TDBXDriverRegistry drivers;
  std::unique_ptr<TfrmPrincipal> form;

  StandInWorld() {
    ops.server = &server;
    drivers.Register(u"Datasnap", std::make_shared<StandInDriver>(server));
  }
  StandInWorld(const StandInWorld&) = delete;
  StandInWorld& operator=(const StandInWorld&) = delete;
  ~StandInWorld() { end(); }

  void start_window(DiagnosticSink diagnostics) {
    form = create_main_window(app, {loop, app, ops, host, drivers, std::move(diagnostics)});
  }
  // The activity log's lines.
  std::vector<std::string> log() const {
    std::vector<std::string> lines;
    for (const auto& line : form->mmLog.Lines()) lines.push_back(to_utf8(line));
    return lines;
  }
  // Quits every watchdog and waits until none is left.
  void end() {
    if (form) form->watchdogs().quit();
    clock.wait_for_threads(kNoDeadline);
  }
};

struct FormFixture : ::testing::Test, StandInWorld {
  std::vector<UString> error_boxes;
  // Empty: no diagnostic stream, as in the desktop program by default.
  DiagnosticSink diagnostics;

  void start() {
    app.on_error_box = [this](const UString&, const UString& message) {
      error_boxes.push_back(message);
    };
    start_window(diagnostics);
  }

  void TearDown() override { end(); }
};

}  // namespace wardenix::testing
