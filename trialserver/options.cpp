#include "trialserver/options.h"

#include <charconv>
#include <limits>

namespace wardenix::trial {
namespace {

template <typename Number>
bool parse_number(const std::string& text, Number& out) {
  const char* const end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, out);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

bool parse_mode(const std::string& text, FaultMode& mode) {
  if (text == "accept") mode = FaultMode::Accept;
  else if (text == "refuse") mode = FaultMode::Refuse;
  else if (text == "hang") mode = FaultMode::Hang;
  else if (text == "child") mode = FaultMode::Child;
  else if (text == "hang-call") mode = FaultMode::CallHang;
  else if (text == "error-call") mode = FaultMode::CallError;
  else if (text == "null-result") mode = FaultMode::NullResult;
  else if (text == "cut-reply") mode = FaultMode::CutReply;
  else return false;
  return true;
}

bool parse_handshake(const std::string& text, Handshake& handshake) {
  if (text == "unfiltered") handshake = Handshake::Unfiltered;
  else if (text == "framed") handshake = Handshake::Framed;
  else if (text == "filter") handshake = Handshake::Filter;
  else return false;
  return true;
}

bool parse_child_style(const std::string& text, ChildStyle& style) {
  if (text == "plain") style = ChildStyle::Plain;
  else if (text == "session") style = ChildStyle::Session;
  else if (text == "orphan") style = ChildStyle::Orphan;
  else return false;
  return true;
}

}  // namespace

ParsedOptions parse_options(const std::vector<std::string>& arguments) {
  ParsedOptions parsed;
  TrialOptions& o = parsed.options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    const auto value = [&]() -> const std::string* {
      return i + 1 < arguments.size() ? &arguments[++i] : nullptr;
    };
    const auto fail = [&](const std::string& why) {
      parsed.error = why;
      return parsed;
    };
    if (name == "--help" || name == "-h") {
      o.help = true;
    } else if (name == "--version") {
      o.version = true;
    } else if (name == "--spawn-child") {
      o.spawn_child = true;
    } else if (name == "--port") {
      const std::string* v = value();
      if (!v || !parse_number(*v, o.port)) return fail("--port needs a number from 0 to 65535");
    } else if (name == "--mode") {
      const std::string* v = value();
      if (!v || !parse_mode(*v, o.mode)) {
        return fail(
            "--mode needs accept, refuse, hang, child, hang-call, error-call, null-result or "
            "cut-reply");
      }
    } else if (name == "--exit-after") {
      const std::string* v = value();
      std::uint32_t seconds = 0;
      if (!v || !parse_number(*v, seconds)) return fail("--exit-after needs a number of seconds");
      o.exit_after_seconds = seconds;
    } else if (name == "--child-image") {
      const std::string* v = value();
      if (!v || v->empty()) return fail("--child-image needs a program path");
      o.child_image = *v;
    } else if (name == "--child-style") {
      const std::string* v = value();
      if (!v || !parse_child_style(*v, o.child_style)) {
        return fail("--child-style needs plain, session or orphan");
      }
    } else if (name == "--port-file") {
      const std::string* v = value();
      if (!v || v->empty()) return fail("--port-file needs a file path");
      o.port_file = *v;
    } else if (name == "--call-log") {
      const std::string* v = value();
      if (!v || v->empty()) return fail("--call-log needs a file path");
      o.call_log = *v;
    } else if (name == "--handshake") {
      const std::string* v = value();
      if (!v || !parse_handshake(*v, o.handshake)) {
        return fail("--handshake needs unfiltered, framed or filter");
      }
    } else if (name == "--filter-id") {
      const std::string* v = value();
      if (!v || v->empty()) return fail("--filter-id needs a filter id");
      o.filter_id = *v;
    } else if (name == "--rid") {
      const std::string* v = value();
      if (!v) return fail("--rid needs the access code");
      o.required_rid = *v;
    } else if (name == "--slow") {
      const std::string* v = value();
      if (!v || !parse_number(*v, o.reply_delay_ms)) return fail("--slow needs a number of milliseconds");
    } else if (name == "--rows") {
      const std::string* v = value();
      if (!v || !parse_number(*v, o.version_rows) || o.version_rows > kMaxVersionRows) {
        return fail("--rows needs a number from 0 to " + std::to_string(kMaxVersionRows));
      }
    } else {
      return fail("unknown option " + name);
    }
  }
  return parsed;
}

std::vector<std::string> arguments_from_lines(const std::string& text) {
  std::vector<std::string> arguments;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) arguments.push_back(std::move(line));
    start = end + 1;
  }
  return arguments;
}

std::vector<std::string> child_arguments(const TrialOptions& options) {
  std::vector<std::string> arguments{"--mode", "child"};
  if (options.exit_after_seconds) {
    arguments.push_back("--exit-after");
    arguments.push_back(std::to_string(*options.exit_after_seconds));
  }
  return arguments;
}

std::string usage_text() {
  return "Trial application server.\n"
         "\n"
         "It answers the metadata command, the remote methods of TdtmPrincipal\n"
         "(_Consultas with the GR_VERSAO table, the others by fixed rules: inputs\n"
         "echoed, the in-out text with \"*\", results derived from the call;\n"
         "sqlAuxAfterClose and sqlAuxBeforeOpen pull the client's table and count\n"
         "its rows, or its values that are not null, as the rows affected),\n"
         "the seven provider operations TdmPrincipal.AS_* for the provider dspAux\n"
         "(AS_GetRecords answers the GR_VERSAO packet, or null for a reset), the\n"
         "method list DSAdmin.GetServerMethods, txbegin, txend and vendor_property.\n"
         "\n"
         "  --port N             listen on TCP port N (3063; 0 = any free port)\n"
         "  --port-file PATH     write the port to PATH once listening\n"
         "  --mode MODE          accept: accept connections and speak the protocol\n"
         "                               (default)\n"
         "                       refuse: close each connection at once\n"
         "                       hang:   accept connections and never answer\n"
         "                       child:  do not listen; wait until ended\n"
         "                       hang-call:   answer connect and metadata, never a\n"
         "                                    server method\n"
         "                       error-call:  answer server methods with an error\n"
         "                       null-result: answer _Consultas with null (the\n"
         "                                    provider's AS_GetRecords still\n"
         "                                    answers its packet)\n"
         "                       cut-reply:   close the connection halfway through\n"
         "                                    the answer to a server method\n"
         "  --slow MS            answer server methods only after MS milliseconds\n"
         "  --call-log PATH      append one line per server method it runs to PATH:\n"
         "                       the command text, and for AS_GetRecords also\n"
         "                       \" provider=NAME count=N options=N\"\n"
         "  --handshake KIND     unfiltered (default), framed (an empty filter list)\n"
         "                       or filter (announces a filter that changes nothing)\n"
         "  --filter-id ID       the id of that filter (PassThrough)\n"
         "  --rid CODE           refuse connections whose RIDaduvorod is not CODE\n"
         "  --rows N             rows of the GR_VERSAO table it returns (3)\n"
         "  --exit-after SECONDS end by itself after this many seconds\n"
         "  --spawn-child        start a child process (--mode child) first\n"
         "  --child-image PATH   the child's program (default: this one)\n"
         "  --child-style STYLE  plain, session (own session) or orphan (its parent\n"
         "                       ends at once); only plain on Windows\n"
         "  --help               show this text\n"
         "  --version            show the program's version\n"
         "\n"
         "Started without arguments, it takes them from the file DAZEVAVIZ.ARGS\n"
         "beside it when there is one: one argument per line.\n"
         "\n"
         "Exit status: 0 at the end of --exit-after, 1 when it cannot listen, 2 a\n"
         "usage error, or a call log, port file or child it cannot open, write or\n"
         "start.\n";
}

}  // namespace wardenix::trial
