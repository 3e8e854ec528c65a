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
    } else if (name == "--spawn-child") {
      o.spawn_child = true;
    } else if (name == "--port") {
      const std::string* v = value();
      if (!v || !parse_number(*v, o.port)) return fail("--port needs a number from 0 to 65535");
    } else if (name == "--mode") {
      const std::string* v = value();
      if (!v || !parse_mode(*v, o.mode)) return fail("--mode needs accept, refuse, hang or child");
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
         "  --port N             listen on TCP port N (3063; 0 = any free port)\n"
         "  --port-file PATH     write the port to PATH once listening\n"
         "  --mode MODE          accept: accept connections and serve them (default)\n"
         "                       refuse: close each connection at once\n"
         "                       hang:   accept connections and never answer\n"
         "                       child:  do not listen; wait until ended\n"
         "  --exit-after SECONDS end by itself after this many seconds\n"
         "  --spawn-child        start a child process (--mode child) first\n"
         "  --child-image PATH   the child's program (default: this one)\n"
         "  --child-style STYLE  plain, session (own session) or orphan (its parent\n"
         "                       ends at once); only plain on Windows\n"
         "  --help               show this text\n"
         "\n"
         "Started without arguments, it takes them from the file DAZEVAVIZ.ARGS\n"
         "beside it when there is one: one argument per line.\n";
}

}  // namespace wardenix::trial
