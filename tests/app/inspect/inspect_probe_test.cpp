// wardenix-inspect probe, run as a monitoring system runs it, against trial
// servers of the test's own in each of their fault modes.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "tests/app/inspect/inspect_run.h"
#include "tests/support/temp_dir.h"
#include "tests/trialserver/harness/trial_harness.h"

namespace wardenix {
namespace {

using namespace std::chrono_literals;
using testing::join;
using testing::RunResult;
using testing::TrialProcess;
namespace fs = std::filesystem;

// In the order the probe goes through them.
const std::vector<std::string> kPhaseOrder = {"tcp connect", "handshake", "connect message", "metadata",
                                              "prepare",     "execute",   "packet loaded"};

// A loopback port that is bound but not listening: connecting to it is
// refused, and no other program can take it while the test holds it.
class UnlistenedPort {
 public:
  UnlistenedPort() {
#ifdef _WIN32
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      port_ = ntohs(address.sin_port);
    }
  }
  ~UnlistenedPort() {
#ifdef _WIN32
    ::closesocket(socket_);
    WSACleanup();
#else
    ::close(socket_);
#endif
  }
  UnlistenedPort(const UnlistenedPort&) = delete;
  UnlistenedPort& operator=(const UnlistenedPort&) = delete;

  std::uint16_t port() const { return port_; }

 private:
#ifdef _WIN32
  SOCKET socket_;
#else
  int socket_;
#endif
  std::uint16_t port_ = 0;
};

// The value of `"key":` in a one-line JSON object, up to the next comma or
// brace (strings keep their quotes).
std::string json_value(const std::string& json, const std::string& key) {
  const std::string marker = join({"\"", key, "\":"});
  const auto at = json.find(marker);
  if (at == std::string::npos) return "(missing)";
  const auto from = at + marker.size();
  if (json[from] == '"') return json.substr(from, json.find('"', from + 1) + 1 - from);
  return json.substr(from, json.find_first_of(",}", from) - from);
}

// The names of the phases that ended, in the order the report gives them.
std::vector<std::string> phases_of(const std::string& json) {
  std::vector<std::string> names;
  const std::string marker = "{\"name\":\"";
  for (auto at = json.find(marker); at != std::string::npos; at = json.find(marker, at + 1)) {
    const auto from = at + marker.size();
    names.push_back(json.substr(from, json.find('"', from) - from));
  }
  return names;
}

// The phases before `failed`, or every phase when none failed.
std::vector<std::string> phases_before(const std::string& failed) {
  std::vector<std::string> names;
  for (const std::string& name : kPhaseOrder) {
    if (name == failed) break;
    names.push_back(name);
  }
  return names;
}

class InspectProbe : public ::testing::Test {
 protected:
  // Starts a trial server on a free port; returns the port, 0 on failure.
  std::uint16_t start_server(std::vector<std::string> arguments) {
    const fs::path port_file = dir() / join({"port", std::to_string(servers_.size())});
    for (const char* extra : {"--port", "0", "--exit-after", "300", "--port-file"}) {
      arguments.push_back(extra);
    }
    arguments.push_back(port_file.string());
    servers_.push_back(std::make_unique<TrialProcess>(testing::trial_server_path(), arguments));
    return testing::read_port_file(port_file, 30s);
  }

  RunResult inspect(const std::string& arguments, const fs::path& program = {}) {
    return testing::run_inspect(dir(), arguments, program);
  }

  // A copy of the program beside a rez.ini of `text`.
  fs::path program_with_config(const std::string& text) {
    const fs::path folder = dir() / join({"app", std::to_string(++copies_)});
    fs::create_directory(folder);
    const fs::path built(WARDENIX_INSPECT_EXE);
    const fs::path program = folder / built.filename();
    fs::copy_file(built, program);
    std::ofstream(folder / "rez.ini", std::ios::binary) << text;
    return program;
  }

  const fs::path& dir() const { return temp_.path(); }

 private:
  testing::TempDir temp_;
  std::vector<std::unique_ptr<TrialProcess>> servers_;
  int copies_ = 0;
};

// Every fault the trial server can play, a healthy server and a port where
// nothing listens: the exit code, the status, the phase named, and that the
// phases before it are the ones reported as ended.
TEST_F(InspectProbe, ExitCodeAndPhaseForEachServer) {
  // A deadline no busy machine reaches, for the cases that must not meet it.
  const std::string patient = "--deadline 600000";
  // Short, so that the hanging cases end soon, yet ten times what the steps
  // before the hang take on a slow build (sanitizers, Wine).
  const std::string short_deadline = "--deadline 2000";
  const struct {
    std::vector<std::string> server;  // none: a port nothing listens on
    std::string options;
    int exit_code;
    const char* status;
    const char* failed_phase;  // "" when none
    bool deadline_passed;
    const char* rows;
  } cases[] = {
      {{"--mode", "accept"}, patient, 0, "OK", "", false, "3"},
      {{"--rows", "7"}, patient, 0, "OK", "", false, "7"},
      {{"--mode", "accept"}, patient + " --warn 0", 1, "WARNING", "", false, "3"},
      {{"--mode", "null-result"}, patient, 0, "OK", "", false, "3"},
      {{"--handshake", "framed"}, patient, 0, "OK", "", false, "3"},
      {{"--rid", "58013742QHZVMTRB"}, patient, 0, "OK", "", false, "3"},
      {{"--slow", "1"}, patient, 0, "OK", "", false, "3"},
      {{}, patient, 2, "CRITICAL", "tcp connect", false, "null"},
      {{"--mode", "refuse"}, patient, 2, "CRITICAL", "handshake", false, "null"},
      {{"--mode", "hang"}, short_deadline, 2, "CRITICAL", "handshake", true, "null"},
      // The watchdog registers no transport filter: a server that announces
      // one cannot be spoken to.
      {{"--handshake", "filter"}, patient, 2, "CRITICAL", "handshake", false, "null"},
      {{"--rid", "WRONG"}, patient, 2, "CRITICAL", "connect message", false, "null"},
      {{"--mode", "hang-call"}, short_deadline, 2, "CRITICAL", "execute", true, "null"},
      {{"--slow", "600000"}, short_deadline, 2, "CRITICAL", "execute", true, "null"},
      {{"--mode", "error-call"}, patient, 2, "CRITICAL", "execute", false, "null"},
      {{"--mode", "cut-reply"}, patient, 2, "CRITICAL", "execute", false, "null"},
  };
  for (const auto& c : cases) {
    const std::string server = c.server.empty() ? "nothing listening" : join({c.server[0], " ", c.server[1]});
    SCOPED_TRACE(join({server, " ", c.options}));
    UnlistenedPort unlistened;
    const std::uint16_t port = c.server.empty() ? unlistened.port() : start_server(c.server);
    ASSERT_NE(port, 0);
    const RunResult result = inspect(join({"probe 127.0.0.1 ", std::to_string(port), " --json ", c.options}));
    EXPECT_EQ(result.exit_code, c.exit_code) << result.out << result.err;
    EXPECT_EQ(json_value(result.out, "status"), join({"\"", c.status, "\""}));
    const std::string failed = c.failed_phase;
    EXPECT_EQ(json_value(result.out, "failed_phase"), failed.empty() ? "null" : join({"\"", failed, "\""}));
    EXPECT_EQ(phases_of(result.out), phases_before(failed));
    EXPECT_EQ(json_value(result.out, "deadline_passed"), c.deadline_passed ? "true" : "false");
    EXPECT_EQ(json_value(result.out, "rows"), c.rows);
    EXPECT_EQ(json_value(result.out, "port"), std::to_string(port));
    if (failed.empty()) {
      EXPECT_EQ(json_value(result.out, "error"), "null");
      EXPECT_EQ(json_value(result.out, "null_answer"), c.server[1] == "null-result" ? "true" : "false");
    } else {
      // Where and why: the error's class and its text.
      EXPECT_NE(json_value(result.out, "class"), "(missing)");
      EXPECT_NE(json_value(result.out, "message"), "(missing)");
    }
  }
}

// The text form: the plugin status line first, then the phases, the columns
// and the row count, or the phase that failed and the error.
TEST_F(InspectProbe, TextReportStartsWithThePluginStatusLine) {
  const std::uint16_t healthy = start_server({});
  const std::uint16_t failing = start_server({"--mode", "error-call"});
  ASSERT_NE(healthy, 0);
  ASSERT_NE(failing, 0);

  const std::string address = join({"127.0.0.1:", std::to_string(healthy)});
  const RunResult ok = inspect(join({"probe 127.0.0.1 ", std::to_string(healthy), " --deadline 600000"}));
  EXPECT_EQ(ok.exit_code, 0);
  EXPECT_EQ(ok.out.rfind(join({"PROBE OK - ", address, " answered 3 rows in "}), 0), 0u) << ok.out;
  const std::string status_line = ok.out.substr(0, ok.out.find('\n'));
  EXPECT_NE(status_line.find(" | time="), std::string::npos) << status_line;
  EXPECT_NE(status_line.find(";600.000;0"), std::string::npos) << status_line;
  for (const std::string& phase : kPhaseOrder) {
    EXPECT_NE(ok.out.find(join({"\n", phase, ":"})), std::string::npos) << phase;
  }
  EXPECT_NE(ok.out.find("\ncolumns: ID VERSAO BUILD ATUAL OBSERVACAO\nrows: 3\n"), std::string::npos) << ok.out;

  const RunResult failed = inspect(join({"probe 127.0.0.1 ", std::to_string(failing), " --deadline 600000"}));
  EXPECT_EQ(failed.exit_code, 2);
  const std::string failed_line = failed.out.substr(0, failed.out.find('\n'));
  EXPECT_EQ(failed_line.rfind(join({"PROBE CRITICAL - 127.0.0.1:", std::to_string(failing),
                                    " failed in execute: TDBXError (code "}),
                              0),
            0u)
      << failed.out;
  EXPECT_NE(failed.out.find("\nexecute:          failed after "), std::string::npos) << failed.out;
  EXPECT_NE(failed.out.find("\nerror: TDBXError"), std::string::npos) << failed.out;
}

TEST_F(InspectProbe, UsageErrorsAreUnknown) {
  for (const char* arguments :
       {"probe 127.0.0.1 0", "probe 127.0.0.1 65536", "probe 127.0.0.1 3o63", "probe 127.0.0.1 \"\"",
        "probe \"\" 3063", "probe 127.0.0.1 3063 extra", "probe 127.0.0.1 3063 --warn",
        "probe 127.0.0.1 3063 --warn soon", "probe 127.0.0.1 3063 --deadline 0",
        "probe 127.0.0.1 3063 --deadline -5", "probe 127.0.0.1 3063 --verbose"}) {
    SCOPED_TRACE(arguments);
    const RunResult text = inspect(arguments);
    EXPECT_EQ(text.exit_code, 3);
    EXPECT_EQ(text.out.rfind("PROBE UNKNOWN - usage error: ", 0), 0u) << text.out;
    EXPECT_NE(text.err.find("usage: wardenix-inspect probe"), std::string::npos) << text.err;
    const RunResult json = inspect(join({arguments, " --json"}));
    EXPECT_EQ(json.exit_code, 3);
    EXPECT_EQ(json_value(json.out, "status"), "\"UNKNOWN\"") << json.out;
  }
}

// Host and port come from the rez.ini beside the program, read as the
// watchdog reads it; values the watchdog cannot use make the check UNKNOWN.
TEST_F(InspectProbe, DefaultsComeFromTheProgramsRezIni) {
  const std::uint16_t port = start_server({});
  ASSERT_NE(port, 0);
  const std::string port_line = join({"PORTADS=", std::to_string(port), "\r\n"});
  const struct {
    std::string ini;
    std::string arguments;
    int exit_code;
    const char* key;  // the key named as the problem, "" when none
  } cases[] = {
      {join({"[rez]\r\nipds = 127.0.0.1\r\n", port_line}), "probe", 0, ""},
      {join({"[REZ]\r\nIPDS=nowhere.invalid\r\n", port_line}), "probe 127.0.0.1", 0, ""},
      {"[REZ]\r\nPORTADS=abc\r\n", "probe", 3, "PORTADS"},
      {"[REZ]\r\nPORTADS=0\r\n", "probe", 3, "PORTADS"},
      {"[REZ]\r\nPORTADS=99999\r\n", "probe 127.0.0.1", 3, "PORTADS"},
      {"[REZ]\r\nPORTADS=\r\n", "probe", 3, "PORTADS"},
      {join({"[REZ]\r\nIPDS=\r\n", port_line}), "probe", 3, "IPDS"},
      // Given on the command line, neither value is read from the file.
      {"[REZ]\r\nIPDS=\r\nPORTADS=abc\r\n", join({"probe 127.0.0.1 ", std::to_string(port)}), 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(join({c.ini, c.arguments}));
    const RunResult result = inspect(join({c.arguments, " --deadline 600000"}), program_with_config(c.ini));
    EXPECT_EQ(result.exit_code, c.exit_code) << result.out << result.err;
    const std::string key = c.key;
    if (key.empty()) {
      EXPECT_EQ(result.out.rfind(join({"PROBE OK - 127.0.0.1:", std::to_string(port), " answered"}), 0), 0u)
          << result.out;
    } else {
      EXPECT_EQ(result.out.rfind("PROBE UNKNOWN - rez.ini (", 0), 0u) << result.out;
      EXPECT_NE(result.out.find(join({"): ", key, ": "})), std::string::npos) << result.out;
    }
  }
}

}  // namespace
}  // namespace wardenix
