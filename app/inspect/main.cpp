// wardenix-inspect: diagnostics for administrators.
//   wardenix-inspect packet FILE          loads FILE as a data packet and prints it as JSON
//   wardenix-inspect config [DIR] [--json] what the watchdog reads from DIR's rez.ini
//   wardenix-inspect service NAME [--json] the state the database check sees
//   wardenix-inspect call METHOD [ARG...]  a remote method through the typed proxy
//   wardenix-inspect methods               the server's method list
//   wardenix-inspect probe [HOST [PORT]]   the watchdog's connect and probe, once
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <filesystem>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "app/inspect/call_command.h"
#include "app/inspect/config_report.h"
#include "app/inspect/json_writer.h"
#include "app/inspect/packet_file.h"
#include "app/inspect/packet_report.h"
#include "app/inspect/probe_command.h"
#include "app/inspect/service_report.h"
#include "dataset/packet_budget.h"
#include "sysops/host_info.h"
#include "sysops/service_state.h"
#include "wire/tcp_socket.h"

namespace {

constexpr const char* kUsage =
    "usage: wardenix-inspect packet FILE\n"
    "       wardenix-inspect config [DIR] [--json]\n"
    "       wardenix-inspect service NAME [--json]\n"
    "       wardenix-inspect call [--host H] [--port P] [--deadline MS] METHOD [ARG...]\n"
    "       wardenix-inspect call --list\n"
    "       wardenix-inspect methods [--host H] [--port P] [--deadline MS] [--json]\n"
    "       wardenix-inspect probe [HOST [PORT]] [--warn MS] [--deadline MS] [--json]\n"
    "       wardenix-inspect --help | --version\n";

constexpr const char* kHelp =
    "usage: wardenix-inspect packet FILE\n"
    "       wardenix-inspect config [DIR] [--json]\n"
    "       wardenix-inspect service NAME [--json]\n"
    "       wardenix-inspect call [--host H] [--port P] [--deadline MS] METHOD [ARG...]\n"
    "       wardenix-inspect call --list\n"
    "       wardenix-inspect methods [--host H] [--port P] [--deadline MS] [--json]\n"
    "       wardenix-inspect probe [HOST [PORT]] [--warn MS] [--deadline MS] [--json]\n"
    "\n"
    "packet FILE\n"
    "Loads FILE as a data packet (binary or XML) the way the watchdog's client\n"
    "dataset loads an answer, and prints one JSON object: columns, rows, dataset\n"
    "options and table options, or the error that rejects the packet.\n"
    "\n"
    "FILE must be a regular file of at most 32 MiB (33554432 bytes), the largest\n"
    "packet the dataset reads. Only as much of it is read as the packet's own\n"
    "header, counts and lengths take; bytes after the packet are not read.\n"
    "\n"
    "Exit status: 0 the packet is accepted, 1 it is rejected, 2 a usage error or\n"
    "a file that cannot be read, is not a regular file or is too large.\n"
    "\n"
    "config [DIR] [--json]\n"
    "Reads DIR/rez.ini (DIR: this program's own directory, where the watchdog\n"
    "keeps it) as the watchdog reads it and prints the server's host (IPDS) and\n"
    "port (PORTADS), the line each came from or that the default applies, and\n"
    "how the file's text was read. A port that is not a number from 1 to 65535\n"
    "and a host that is empty or does not resolve are named as problems.\n"
    "--json prints one JSON object instead.\n"
    "Exit status: 0 the watchdog can use the values, 1 it cannot, 2 a usage error.\n"
    "\n"
    "service NAME [--json]\n"
    "Asks the service manager for the state of the service NAME as the watchdog's\n"
    "database check does, and prints the number it gets with its meaning: -2 the\n"
    "service manager cannot be opened, -1 the service cannot be opened, 0 its\n"
    "status cannot be read, 1 stopped, 2 start pending, 3 stop pending, 4 running,\n"
    "5 continue pending, 6 pause pending, 7 paused. Only 4 counts as running.\n"
#ifndef _WIN32
    "On Linux the service NAME is the systemd unit NAME.service, asked over the\n"
    "system bus.\n"
#endif
    "Exit status: 0 running, 1 any other state, 2 a usage error.\n"
    "\n"
    "call [--host H] [--port P] [--deadline MS] METHOD [ARG...]\n"
    "Connects to the application server as the watchdog does and calls its remote\n"
    "method METHOD (a name of the typed proxy, case ignored; `call --list` lists\n"
    "them with their parameters) with one ARG per parameter, read by its type:\n"
    "  string      the text as it stands\n"
    "  Integer     a whole number from -2147483648 to 2147483647\n"
    "  Currency    a decimal number with at most four decimals, as -1234.5678\n"
    "  TDateTime   local time: 2024-02-29, 2024-02-29T13:45:30.250 or 13:45[:30]\n"
    "  OleVariant  null; hex:HEX or base64:TEXT, a byte array; @FILE, the data\n"
    "              packet in FILE (else all its bytes) as a byte array; or JSON:\n"
    "              true, false, a number, \"text\", [...], {\"bytes\":\"HEX\"},\n"
    "              {\"date\":\"TDATETIME\"}, {\"currency\":\"CURRENCY\"}\n"
    "  TDataSet    FILE, a data packet loaded into a client dataset\n"
    "It prints one JSON object: the method's name, its result (\"result\", unless\n"
    "it has none) and its in-out arguments (\"out\"). Texts, numbers and Booleans\n"
    "are JSON's own, a TDateTime is ISO text, a variant's date, currency and\n"
    "bytes are {\"date\":...}, {\"currency\":...} and {\"bytes\":HEX}, and a byte\n"
    "array that holds a data packet is {\"packet\":...}, printed as `packet`\n"
    "prints it. HOST and PORT default to those the watchdog reads from rez.ini\n"
    "in this program's directory. When the deadline (--deadline MS, 10000 by\n"
    "default) passes, the blocked connect or call is ended as the watchdogs end\n"
    "it, and standard error names the deadline and the phase it ended (a step of\n"
    "the connect, or the call).\n"
    "Exit status: 0 the call succeeded; 1 the server could not be reached, it\n"
    "answered with an error (its class, code and message on standard error) or\n"
    "the deadline passed; 2 a usage error, an unknown method, a wrong number of\n"
    "arguments or an argument that does not read as its type.\n"
    "\n"
    "methods [--host H] [--port P] [--deadline MS] [--json]\n"
    "Connects as `call` does and prints the server's method list, one qualified\n"
    "name a line (--json: one JSON object {\"methods\":[...]}); --deadline as for\n"
    "`call`.\n"
    "Exit status: 0 listed, 1 the server could not be reached, answered with an\n"
    "error or the deadline passed, 2 a usage error.\n"
    "probe [HOST [PORT]] [--warn MS] [--deadline MS] [--json]\n"
    "Connects to the application server as the watchdog does (HOST and PORT\n"
    "default to IPDS and PORTADS of the rez.ini in this program's directory, read\n"
    "as the watchdog reads it), runs its probe query once and loads the answer\n"
    "into a client dataset. Prints a monitoring-plugin status line, the time of\n"
    "each phase (tcp connect, handshake, connect message, metadata, prepare,\n"
    "execute, packet loaded) and the dataset's columns and row count, or the\n"
    "phase that failed with the error's class and text. When the deadline\n"
    "(--deadline MS, 10000 by default) passes, the blocked connect or call is\n"
    "ended as the watchdogs end it. --json prints one JSON object instead.\n"
    "Exit status: 0 OK, 1 WARNING (the probe took longer than --warn MS),\n"
    "2 CRITICAL (no connection, the probe failed, the deadline passed or the\n"
    "answer cannot be loaded), 3 UNKNOWN (a usage error, or rez.ini values that\n"
    "cannot be used).\n"
    "\n"
    "--version shows the program's version.\n";

static_assert(wardenix::kMaxPacketBytes == 33554432, "the help text names the largest packet");

int fail(const char* path, const char* why) {
  std::fprintf(stderr, "wardenix-inspect: %s: %s\n", path, why);
  return 2;
}

int usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

// config [DIR] [--json]
int run_config(const std::vector<std::string_view>& arguments) {
  bool json = false;
  std::optional<std::string_view> directory;
  for (const std::string_view argument : arguments) {
    if (argument == "--json") {
      json = true;
    } else if (!directory && !argument.starts_with("-")) {
      directory = argument;
    } else {
      return usage();
    }
  }
  wardenix::UString file;
  if (directory) {
    file = wardenix::from_utf8((std::filesystem::path(*directory) / "rez.ini").string());
  } else {
    file = wardenix::directory_of(wardenix::make_platform_host_info()->executable_path()) + u"rez.ini";
  }
  const wardenix::ConfigReport report = wardenix::check_config(file, wardenix::HostLookupError);
  if (json) {
    wardenix::JsonWriter writer;
    wardenix::write_config_json(report, writer);
    std::printf("%s\n", writer.text().c_str());
  } else {
    std::fputs(wardenix::config_text(report).c_str(), stdout);
  }
  return report.usable() ? 0 : 1;
}

// service NAME [--json]
int run_service(const std::vector<std::string_view>& arguments) {
  bool json = false;
  std::optional<std::string_view> name;
  for (const std::string_view argument : arguments) {
    if (argument == "--json") {
      json = true;
    } else if (!name && !argument.starts_with("-")) {
      name = argument;
    } else {
      return usage();
    }
  }
  if (!name || name->empty()) return usage();
  wardenix::ServiceReport report;
  report.name = wardenix::from_utf8(*name);
  report.state = wardenix::QueryServiceState(report.name, u"");
  if (json) {
    wardenix::JsonWriter writer;
    wardenix::write_service_json(report, writer);
    std::printf("%s\n", writer.text().c_str());
  } else {
    std::fputs(wardenix::service_text(report).c_str(), stdout);
  }
  return report.running() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);  // "\n" stays one byte
#endif
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("wardenix-inspect %s\n", WARDENIX_VERSION_TEXT);
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "config") == 0) {
    return run_config(std::vector<std::string_view>(argv + 2, argv + argc));
  }
  if (argc >= 2 && std::strcmp(argv[1], "probe") == 0) {
    return wardenix::run_probe_command(std::vector<std::string_view>(argv + 2, argv + argc));
  }
  if (argc >= 2 && std::strcmp(argv[1], "service") == 0) {
    return run_service(std::vector<std::string_view>(argv + 2, argv + argc));
  }
  if (argc >= 2 && std::strcmp(argv[1], "call") == 0) {
    return wardenix::run_call(std::vector<std::string_view>(argv + 2, argv + argc));
  }
  if (argc >= 2 && std::strcmp(argv[1], "methods") == 0) {
    return wardenix::run_methods(std::vector<std::string_view>(argv + 2, argv + argc));
  }
  if (argc != 3 || std::strcmp(argv[1], "packet") != 0) return usage();
  const char* path = argv[2];
  wardenix::PacketFile packet = wardenix::read_packet_file(path);
  if (!packet.error.empty()) return fail(path, packet.error.c_str());

  try {
    wardenix::JsonWriter json(
        [](std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); });
    const bool accepted = wardenix::inspect_packet(std::move(packet.bytes), json);
    json.flush();
    std::fputc('\n', stdout);
    return accepted ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "wardenix-inspect: %s\n", e.what());
    return 2;
  }
}
