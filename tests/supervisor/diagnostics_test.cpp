// The diagnostic stream, in virtual time against the stand-in server: what
// each server check did and why, one line a step, each with the severity of
// what it says, and a stream that leaves the supervision itself exactly as it
// is without one.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <thread>

#include "datasnap/datasnap_driver.h"
#include "form_fixture.h"
#include "tests/wire/standin_resolver.h"
#include "sysops/system_error.h"

namespace wardenix {

// Names a severity in a failure's message.
void PrintTo(DiagnosticSeverity severity, std::ostream* out) {
  constexpr const char* kNames[] = {"Information", "Warning", "Error"};
  *out << kNames[static_cast<int>(severity)];
}

namespace testing {
namespace {

using Mode = StandInServer::Mode;
using Call = StandInServer::Call;
using Lines = std::vector<std::string>;
using Severities = std::vector<DiagnosticSeverity>;
constexpr auto I = DiagnosticSeverity::Information;
constexpr auto W = DiagnosticSeverity::Warning;
constexpr auto E = DiagnosticSeverity::Error;

constexpr long long T = 100000;  // the first server check, with Firebird found at 60 s

// A main window of its own on a fresh virtual clock, for one case, with
// the lines of its diagnostic stream.
struct World : StandInWorld {
  std::mutex lines_mutex;
  Lines lines;
  Severities severities;

  World(bool running, Mode mode, Call call) {
    server.running = running;
    server.mode = mode;
    server.call = call;
    ops.set_service(u"FirebirdServerDefaultInstance", 4);
  }
  ~World() { end(); }  // before the lines go
  void start(bool with_stream) {
    DiagnosticSink sink;
    if (with_stream) {
      sink = [this](DiagnosticSeverity severity, const UString& line) {
        std::lock_guard lock(lines_mutex);
        lines.push_back(to_utf8(line));
        severities.push_back(severity);
      };
    }
    start_window(sink);
  }
  // The lines so far, without their time stamps ("yyyy-mm-dd hh:nn:ss ").
  Lines texts() {
    std::lock_guard lock(lines_mutex);
    Lines result;
    for (const std::string& line : lines) result.push_back(line.substr(20));
    return result;
  }
  Severities kinds() {
    std::lock_guard lock(lines_mutex);
    return severities;
  }
};

// The task-ending tool of Windows is not waited for: its report says only
// that each process was ordered to end.
#ifdef _WIN32
const std::string kKilled = "ordered to end";
const std::string kNotKilled = "not ended (" + to_utf8(SystemErrorText(StandInOps::kNotPermitted)) + ")";
#else
const std::string kKilled = "killed";
const std::string kNotKilled = "not killed (" + to_utf8(SystemErrorText(StandInOps::kNotPermitted)) + ")";
#endif
const std::string kNoSuchFile = to_utf8(SystemErrorText(StandInOps::kNoSuchFile));

TEST(Diagnostics, EachStepOfACheckSaysWhatHappenedAndWhy) {
  enum class Quirk { None, Unkillable, EndsAtStart, CannotStart, OutlivesKill };
  struct Case {
    const char* name;
    bool running;
    Mode mode;
    Call call;
    Quirk quirk;
    long long until;
    Lines expected;
    Severities severities;  // one a line
  };
  const Case cases[] = {
      {"healthy", true, Mode::Accept, Call::Answer, Quirk::None, T + 48000,
       {"check: connected to localhost:3063",
        "probe: _Consultas answered; the dataset is open with 1 rows, columns VERSAO",
        "connection watchdog: the server is connected; disconnecting",
        "check: connected to localhost:3063",
        "probe: _Consultas answered; the dataset is open with 1 rows, columns VERSAO",
        "responsiveness watchdog: the probe's dataset is open; closing it"},
       {I, I, I, I, I, I}},
      {"null answer, rows through the provider link", true, Mode::Accept, Call::Null, Quirk::None,
       T + 4000,
       {"check: connected to localhost:3063",
        "probe: _Consultas answered null; the rows are fetched through the provider link in 2 s",
        "probe: fetched through the provider link; the dataset is open with 1 rows, columns "
        "VERSAO"},
       {I, I, I}},
      {"missing server started", false, Mode::Accept, Call::Answer, Quirk::None, T + 22000,
       {"check: cannot connect to localhost:3063: TDBXError 21: DBX Error:  Connection failed",
        "connection watchdog: the server is not connected, and DAZEVAVIZ.EXE does not run: "
        "starting it",
        "launch: C:\\KESTRANE\\REZ7\\DAZEVAVIZ.EXE started, pid 4242"},
       {W, W, I}},
      {"missing server cannot be started", false, Mode::Accept, Call::Answer, Quirk::CannotStart,
       T + 27000,
       {"check: cannot connect to localhost:3063: TDBXError 21: DBX Error:  Connection failed",
        "connection watchdog: the server is not connected, and DAZEVAVIZ.EXE does not run: "
        "starting it",
        "launch: C:\\KESTRANE\\REZ7\\DAZEVAVIZ.EXE could not be started: " + kNoSuchFile},
       {W, W, E}},
      {"started server ends at once", false, Mode::Accept, Call::Answer, Quirk::EndsAtStart,
       T + 27000,
       {"check: cannot connect to localhost:3063: TDBXError 21: DBX Error:  Connection failed",
        "connection watchdog: the server is not connected, and DAZEVAVIZ.EXE does not run: "
        "starting it",
        "launch: C:\\KESTRANE\\REZ7\\DAZEVAVIZ.EXE started, pid 4242",
        "launch: the server started as pid 4242 ended within 5 s of its start"},
       {W, W, I, E}},
      {"refusing server killed", true, Mode::Refuse, Call::Answer, Quirk::None, T + 27000,
       {"check: cannot connect to localhost:3063: TDBXError 21: DBX Error:  Connection failed",
        "connection watchdog: the server is not connected, and DAZEVAVIZ.EXE runs as pid 4242: "
        "killing it (a later check starts it again)",
        "kill: DAZEVAVIZ.EXE with its descendants: pid 4242 " + kKilled},
       {W, W, W}},
      {"kill refused", true, Mode::Refuse, Call::Answer, Quirk::Unkillable, T + 27000,
       {"check: cannot connect to localhost:3063: TDBXError 21: DBX Error:  Connection failed",
        "connection watchdog: the server is not connected, and DAZEVAVIZ.EXE runs as pid 4242: "
        "killing it (a later check starts it again)",
        "kill: DAZEVAVIZ.EXE with its descendants: pid 4242 " + kNotKilled},
       {W, W, E}},
      {"killed server goes on running", true, Mode::Refuse, Call::Answer, Quirk::OutlivesKill,
       T + 27000,
       {"check: cannot connect to localhost:3063: TDBXError 21: DBX Error:  Connection failed",
        "connection watchdog: the server is not connected, and DAZEVAVIZ.EXE runs as pid 4242: "
        "killing it (a later check starts it again)",
        "kill: DAZEVAVIZ.EXE with its descendants: pid 4242 " + kKilled,
        "kill: pid 4242 still runs 5 s after the kill"},
       {W, W, W, E}},
      // Until just before T + 64 s, where the relaunch and the next check's
      // disconnect come at the same instant, on two threads in either order.
      {"failing probe: killed", true, Mode::Accept, Call::Fail, Quirk::None, T + 63999,
       {"check: connected to localhost:3063",
        "probe: _Consultas failed: TDBXError 0: query failed",
        "connection watchdog: the server is connected; disconnecting",
        "check: connected to localhost:3063",
        "probe: _Consultas failed: TDBXError 0: query failed",
        "responsiveness watchdog: the probe's dataset is not open, the server did not answer the "
        "probe: killing it, and starting it again in 20 s",
        "kill: DAZEVAVIZ.EXE with its descendants: pid 4242 " + kKilled},
       {I, W, I, I, W, W, W}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World world(c.running, c.mode, c.call);
    world.server.unkillable = c.quirk == Quirk::Unkillable;
    world.server.ends_at_start = c.quirk == Quirk::EndsAtStart;
    world.server.cannot_start = c.quirk == Quirk::CannotStart;
    world.server.outlives_kill = c.quirk == Quirk::OutlivesKill;
    world.start(true);
    world.loop.run_until(Millis(c.until));
    EXPECT_EQ(world.texts(), c.expected);
    EXPECT_EQ(world.kinds(), c.severities);
  }
}

// Quitting aborts the call the check is blocked in: the check's line says so,
// as information, and blames neither the server nor its probe.
TEST(Diagnostics, ACheckEndedByQuittingSaysSo) {
  struct Case {
    const char* name;
    Mode mode;
    Call call;
    Call provider_call;
    Lines expected;
    Severities severities;
  };
  const Case cases[] = {
      {"hanging connect", Mode::Hang, Call::Answer, Call::Answer,
       {"check: ended by quitting while connecting to localhost:3063"},
       {I}},
      {"hanging probe", Mode::Accept, Call::Hang, Call::Answer,
       {"check: connected to localhost:3063", "check: ended by quitting while the probe waited"},
       {I, I}},
      {"hanging fetch through the provider link", Mode::Accept, Call::Null, Call::Hang,
       {"check: connected to localhost:3063",
        "probe: _Consultas answered null; the rows are fetched through the provider link in 2 s",
        "check: ended by quitting while the fetch through the provider link waited"},
       {I, I, I}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World world(true, c.mode, c.call);
    world.server.provider_call = c.provider_call;
    world.start(true);
    // From a thread of its own, as Ctrl+C comes, while the main thread is
    // blocked in the check.
    world.clock.start_thread([&world] {
      world.clock.sleep_for(Millis(T + 10000) - world.clock.now());
      world.form->RequestQuit();
    });
    world.loop.run_until(Millis(T + 100000));
    world.end();
    EXPECT_EQ(world.texts(), c.expected);
    EXPECT_EQ(world.kinds(), c.severities);
  }
}

// The check's connect with the program's own driver, to a host whose lookup
// never answers: quitting ends the wait for the lookup as it ends a hanging
// connect, and the check says it was ended by quitting.
TEST(Diagnostics, QuittingEndsACheckWaitingForTheHostLookup) {
  StandInResolver resolver;
  ScopedTcpLookup hanging_lookups(resolver.lookup());
  World world(true, Mode::Accept, Call::Answer);
  world.drivers.Register(u"Datasnap", make_datasnap_driver());
  world.start(true);
  world.form->edServidor.SetText(u"server.invalid");
  std::promise<void> loop_ended;
  bool stuck = false;
  // From a thread of its own, as Ctrl+C comes, once the check waits for the
  // lookup; a check still waiting long after (the fault) is let go.
  std::thread quitter([&, ended = loop_ended.get_future()] {
    resolver.wait_until_asked_for(u"server.invalid");
    world.form->RequestQuit();
    if (ended.wait_for(std::chrono::seconds(20)) == std::future_status::timeout) {
      stuck = true;
      resolver.release();
    }
  });
  world.loop.run_until(Millis(T + 100000));
  loop_ended.set_value();
  quitter.join();
  EXPECT_FALSE(stuck) << "quitting did not end the wait for the lookup";
  EXPECT_EQ(world.clock.now(), Millis(T + 2000));  // the loop ended during the check's connect
  EXPECT_EQ(world.form->State(), WindowState::Ended);
  world.end();
  EXPECT_EQ(world.texts(), (Lines{"check: ended by quitting while connecting to server.invalid:3063"}));
  EXPECT_EQ(world.kinds(), (Severities{I}));
}

TEST(Diagnostics, LinesAreStampedWithTheClocksLocalTime) {
  World world(true, Mode::Accept, Call::Answer);
  world.start(true);
  world.loop.run_until(Millis(T + 2000));
  std::lock_guard lock(world.lines_mutex);
  ASSERT_FALSE(world.lines.empty());
  EXPECT_EQ(world.lines.front(), "2026-01-01 00:01:42 check: connected to localhost:3063");
}

// The stream only looks on: the server sees the same steps at the same
// times, and the activity log keeps its lines, with the stream or without.
TEST(Diagnostics, TheSupervisionIsTheSameWithTheStreamAsWithout) {
  const auto run = [](bool with_stream) {
    World world(true, Mode::Refuse, Call::Answer);
    world.server.ends_at_start = true;
    world.start(with_stream);
    world.loop.run_until(Millis(T + 200000));
    EXPECT_EQ(world.texts().empty(), !with_stream);
    return std::make_pair(world.server.recorded(), world.log());
  };
  const auto without = run(false);
  const auto with = run(true);
  EXPECT_FALSE(without.first.empty());
  EXPECT_EQ(with.first, without.first);
  EXPECT_EQ(with.second, without.second);
}

// A follow-up is handed to the main thread; one that comes after the stream
// (and its window) is gone is dropped, not run on freed memory.
TEST(Diagnostics, AFollowUpAfterTheStreamIsGoneIsDropped) {
  VirtualClock clock;
  EventLoop loop(clock);
  StandInServer server(clock);
  server.ends_at_start = true;
  StandInOps ops;
  ops.server = &server;
  Lines lines;
  auto stream = std::make_unique<DiagnosticStream>(
      loop, ops, FormatSettings{},
      [&](DiagnosticSeverity, const UString& line) { lines.push_back(to_utf8(line)); });
  stream->Launch(u"C:\\S\\DAZEVAVIZ.EXE");
  stream.reset();
  loop.run_until(Millis(10000));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines.front().find("launch: C:\\S\\DAZEVAVIZ.EXE started, pid 4242"), std::string::npos);
}

TEST(DiagnosticTexts, LaunchAndKillSayWhyTheyFailed) {
  const UString missing = SystemErrorText(ENOENT);
  EXPECT_EQ(describe_launch(u"C:\\S\\DAZEVAVIZ.EXE", LaunchOutcome{false, 0, ENOENT}),
            u"launch: C:\\S\\DAZEVAVIZ.EXE could not be started: " + missing);
  EXPECT_FALSE(missing.empty());
  TerminationReport none;
  EXPECT_EQ(describe_termination(u"DAZEVAVIZ.EXE", none), u"kill: no DAZEVAVIZ.EXE process found");
  TerminationReport no_tool;
  no_tool.tool_started = false;
  no_tool.tool_error = ENOENT;
  EXPECT_EQ(describe_termination(u"DAZEVAVIZ.EXE", no_tool),
            u"kill: the task-ending tool could not be started: " + missing);
}

}  // namespace
}  // namespace testing
}  // namespace wardenix
