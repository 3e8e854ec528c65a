#pragma once
// The trial server's command line: its port and the faults it can play.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wardenix::trial {

enum class FaultMode {
  Accept,  // accept connections and run the session on each
  Refuse,  // accept and close at once
  Hang,    // accept and never answer
  Child,   // no listening: a child process that only waits to be ended
  // Protocol faults: the session answers the handshake, the connect message
  // and the metadata command, then at the execution of a server method...
  CallHang,    // ...never answers
  CallError,   // ...answers an error object
  NullResult,  // ...answers _Consultas with a null result (AS_GetRecords still
               // answers its packet)
  CutReply,    // ...closes the connection halfway through the reply
};

// What the server answers to the client's transport handshake.
enum class Handshake {
  Unfiltered,  // 06 00 00 00 00
  Framed,      // an empty filter list: every later exchange travels in frames
  Filter,      // announces one filter that leaves the bytes as they are
};

// How the child of --spawn-child is attached to the server.
enum class ChildStyle {
  Plain,    // an ordinary child process
  Session,  // a child in a session of its own (not on Windows)
  Orphan,   // a grandchild whose parent ended at once (not on Windows)
};

inline constexpr std::uint16_t kDefaultPort = 3063;
// Enough for answers that need many more_blob requests, small enough for any
// machine.
inline constexpr std::uint32_t kMaxVersionRows = 1'000'000;

struct TrialOptions {
  std::uint16_t port = kDefaultPort;  // 0: any free port
  FaultMode mode = FaultMode::Accept;
  std::optional<std::uint32_t> exit_after_seconds;
  bool spawn_child = false;
  std::string child_image;  // empty: this program
  ChildStyle child_style = ChildStyle::Plain;
  std::string port_file;  // where to write the port once listening
  // Where to append one line per server method run (call_log.h); empty: nowhere.
  std::string call_log;
  bool help = false;
  bool version = false;

  // The protocol.
  Handshake handshake = Handshake::Unfiltered;
  std::string filter_id = "PassThrough";  // announced with Handshake::Filter
  // The RIDaduvorod value a connect message must carry; any when absent.
  std::optional<std::string> required_rid;
  // Every answer to the execution of a server method waits this long first.
  std::uint32_t reply_delay_ms = 0;
  // Rows of the GR_VERSAO table that the server returns.
  std::uint32_t version_rows = 3;
};

struct ParsedOptions {
  TrialOptions options;
  std::string error;  // empty when the command line was understood
};

// `arguments` without the program name.
ParsedOptions parse_options(const std::vector<std::string>& arguments);

// The name of the file beside the program whose lines are its arguments
// when it is started without any (as the watchdog starts it).
inline constexpr char kArgumentsFileName[] = "DAZEVAVIZ.ARGS";

// One argument per line of `text`; blank lines are skipped.
std::vector<std::string> arguments_from_lines(const std::string& text);

// The arguments a child of these options is started with.
std::vector<std::string> child_arguments(const TrialOptions& options);

std::string usage_text();

}  // namespace wardenix::trial
