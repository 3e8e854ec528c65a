// How long one server probe takes on loopback, as the server check runs it
// without its 2 s sleep: the connection component connects (transport
// handshake, connect message, metadata command), the proxy's _Consultas runs
// the probe query, the client dataset loads the answer, and the connection
// disconnects. The server is the trial server's own protocol session in a
// process of its own (forked before the client starts).
//
// Printed: five raw TCP round trips on the same loopback (an echo of a few
// bytes), the probe against the three-row table as a multiple of them, and
// the probe for answers of growing size with its throughput and the peak of
// live heap over the answer's size.
//
//   bench_probe_speed [MEGABYTES ...]     (default 0.1 1 10 30)
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/heap_counter.h"
#include "dataset/client_dataset.h"
#include "datasnap/datasnap_driver.h"
#include "datasnap/sql_connection.h"
#include "mainloop/clock.h"
#include "proxy/uclasse_datasnap.h"
#include "runtime/ustring.h"
#include "trialserver/protocol_session.h"
#include "trialserver/server.h"
#include "trialserver/socket.h"
#include "trialserver/versao_table.h"
#include "wire/tcp_socket.h"

namespace wardenix {
namespace {

using Seconds = std::chrono::duration<double>;
using Steady = std::chrono::steady_clock;

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// ---- the server

class TrialServerProcess {
 public:
  explicit TrialServerProcess(std::uint32_t rows) {
    const auto port_file = std::filesystem::temp_directory_path() /
                           ("wardenix-probe-speed-" + std::to_string(getpid()) + ".port");
    std::filesystem::remove(port_file);
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ < 0) std::abort();
    if (pid_ == 0) {
      trial::TrialOptions options;
      options.port = 0;
      options.port_file = port_file.string();
      options.version_rows = rows;
      const auto clock = make_system_clock();
      _exit(trial::run_server(options, *clock, trial::MakeProtocolSession(options, *clock)));
    }
    for (int tries = 0; tries < 10000 && port_ == 0; ++tries) {
      std::ifstream in(port_file);
      int port = 0;
      if (in >> port) port_ = static_cast<std::uint16_t>(port);
      else std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::filesystem::remove(port_file);
    if (port_ == 0) std::abort();
  }
  ~TrialServerProcess() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  std::uint16_t port() const { return port_; }

 private:
  pid_t pid_ = -1;
  std::uint16_t port_ = 0;
};

// ---- raw round trips: a few bytes echoed by another process, as the server
// is one

struct RoundTrips {
  double five = 0;                 // on a standing connection
  double fresh_connection = 0;     // the same after a connect, then the close
};

void exchange(TcpSocket& client, int trips) {
  std::uint8_t message[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  std::uint8_t answer[64];
  for (int trip = 0; trip < trips; ++trip) {
    client.Send(message);
    std::size_t got = 0;
    while (got < sizeof message) {
      const int n = client.Receive(std::span(answer).subspan(got));
      if (n <= 0) std::abort();
      got += static_cast<std::size_t>(n);
    }
  }
}

RoundTrips round_trips() {
  auto listener = std::make_unique<trial::Listener>();
  if (!listener->open(0, trial::Reach::Loopback)) std::abort();
  const std::uint16_t port = listener->port();
  constexpr int kRuns = 200;
  std::fflush(nullptr);
  const pid_t echo = fork();
  if (echo < 0) std::abort();
  if (echo == 0) {
    // One connection after another, each echoed until the client closes it.
    for (int served = 0; served <= kRuns; ++served) {
      const auto peer = listener->accept();
      if (!peer) std::abort();
      std::byte buffer[64];
      for (std::ptrdiff_t got; (got = peer->receive(buffer)) > 0;) {
        peer->send_all(std::span(buffer, static_cast<std::size_t>(got)));
      }
    }
    _exit(0);
  }
  listener.reset();  // the echo's process listens now
  std::vector<double> standing;
  {
    TcpSocket client;
    client.Connect(u"127.0.0.1", port);
    for (int run = 0; run < kRuns; ++run) {
      const auto started = Steady::now();
      exchange(client, 5);
      standing.push_back(Seconds(Steady::now() - started).count());
    }
    client.Close();
  }
  std::vector<double> fresh;
  for (int run = 0; run < kRuns; ++run) {
    const auto started = Steady::now();
    TcpSocket client;
    client.Connect(u"127.0.0.1", port);
    exchange(client, 5);
    client.Close();
    fresh.push_back(Seconds(Steady::now() - started).count());
  }
  waitpid(echo, nullptr, 0);
  return {median(standing), median(fresh)};
}

// ---- one probe

struct Probe {
  double seconds = 0;
  std::size_t heap_peak = 0;
};

Probe probe_once(std::uint16_t port) {
  TSQLConnection connection(default_driver_registry());
  connection.DriverName = u"Datasnap";
  connection.LoginPrompt = false;
  connection.Params = {u"Port=" + to_ustring(port), u"HostName=127.0.0.1"};
  TClientDataSet dataset;
  const std::size_t heap_before = bench::reset_heap_peak();
  const auto started = Steady::now();
  connection.SetConnected(true);
  {
    TdtmPrincipalClient proxy(connection.DBXConnection());
    const Variant answer = proxy._Consultas(u"SELECT * FROM GR_VERSAO");
    dataset.SetData(answer);
  }
  if (!dataset.Active()) std::abort();
  connection.SetConnected(false);
  Probe probe;
  probe.seconds = Seconds(Steady::now() - started).count();
  probe.heap_peak = bench::heap_peak() - heap_before;
  return probe;
}

struct Measured {
  double seconds = 0;
  double heap_peak = 0;
};

Measured probe_median(std::uint16_t port, int runs) {
  probe_once(port);  // warm-up
  std::vector<double> times;
  std::vector<double> peaks;
  for (int run = 0; run < runs; ++run) {
    const Probe probe = probe_once(port);
    times.push_back(probe.seconds);
    peaks.push_back(static_cast<double>(probe.heap_peak));
  }
  return {median(times), median(peaks)};
}

// Rows of the probe's table that make an answer of about `bytes`.
std::uint32_t rows_for(double bytes) {
  constexpr std::uint32_t kSample = 100000;
  const double per_row = static_cast<double>(trial::versao_packet(kSample).size()) / kSample;
  return static_cast<std::uint32_t>(bytes / per_row) + 1;
}

int run(const std::vector<double>& megabytes) {
  const RoundTrips raw = round_trips();
  const double trips = raw.five;
  std::printf("five raw round trips on loopback: %8.3f ms; with a fresh connection: %8.3f ms"
              " (medians of 200)\n",
              raw.five * 1e3, raw.fresh_connection * 1e3);
  // What every probe holds whatever the answer (the connection's buffers and
  // objects); the answer's own cost is the peak above it.
  double fixed_heap = 0;
  {
    TrialServerProcess server(3);
    const Measured probe = probe_median(server.port(), 200);
    fixed_heap = probe.heap_peak;
    std::printf("one probe, three rows (%zu bytes): %8.3f ms = %.2f x five round trips"
                " (%.2f x with a fresh connection; median of 200), heap peak %.2f MB\n",
                trial::versao_packet(3).size(), probe.seconds * 1e3, probe.seconds / trips,
                probe.seconds / raw.fresh_connection, fixed_heap / 1e6);
  }
  for (const double mb : megabytes) {
    const std::uint32_t rows = rows_for(mb * 1e6);
    const double size = static_cast<double>(trial::versao_packet(rows).size());
    TrialServerProcess server(rows);
    const Measured probe = probe_median(server.port(), mb >= 10 ? 3 : 11);
    std::printf(
        "answer %7.2f MB (%7u rows): probe %9.2f ms, %6.1f MB/s, heap peak %7.2f MB = %.2f x"
        " (above the three-row probe's: %.2f x)\n",
        size / 1e6, rows, probe.seconds * 1e3, size / 1e6 / probe.seconds, probe.heap_peak / 1e6,
        probe.heap_peak / size, (probe.heap_peak - fixed_heap) / size);
  }
  return 0;
}

}  // namespace
}  // namespace wardenix

int main(int argc, char** argv) {
  std::vector<double> megabytes;
  for (int i = 1; i < argc; ++i) {
    const double mb = std::strtod(argv[i], nullptr);
    if (mb <= 0) {
      std::fprintf(stderr, "usage: %s [MEGABYTES ...]\n", argv[0]);
      return 2;
    }
    megabytes.push_back(mb);
  }
  if (megabytes.empty()) megabytes = {0.1, 1, 10, 30};
  return wardenix::run(megabytes);
}
