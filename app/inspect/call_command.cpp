#include "app/inspect/call_command.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <functional>
#include <optional>
#include <string>

#include "app/inspect/deadline_watch.h"
#include "app/inspect/json_writer.h"
#include "app/inspect/probe_report.h"
#include "app/inspect/probe_run.h"
#include "app/inspect/remote_methods.h"
#include "app/inspect/server_connection.h"
#include "datasnap/client_connection.h"
#include "datasnap/datasnap_driver.h"
#include "runtime/error_code.h"

namespace wardenix {
namespace {

constexpr char kCallUsage[] =
    "usage: wardenix-inspect call [--host H] [--port P] [--deadline MS] METHOD [ARG...]\n"
    "       wardenix-inspect call --list\n";
constexpr char kMethodsUsage[] =
    "usage: wardenix-inspect methods [--host H] [--port P] [--deadline MS] [--json]\n";

int usage_error(const char* usage, const std::string& why) {
  if (!why.empty()) std::fprintf(stderr, "wardenix-inspect: %s\n", why.c_str());
  std::fputs(usage, stderr);
  return 2;
}

struct Options {
  std::optional<UString> host;
  std::optional<UString> port;
  std::uint32_t deadline_ms = kDefaultDeadlineMs;
  bool json = false;
  std::size_t used = 0;  // arguments taken
  std::string error;
};

bool is_port(std::string_view text) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string_view::npos) {
    return false;
  }
  const long number = std::stol(std::string(text));
  return number >= 1 && number <= 65535;
}

// The options before the first other argument; `json` says whether --json is one.
Options read_options(const std::vector<std::string_view>& arguments, bool json_allowed) {
  Options options;
  std::size_t& i = options.used;
  for (; i < arguments.size() && arguments[i].starts_with("--"); ++i) {
    const std::string_view name = arguments[i];
    if (json_allowed && name == "--json") {
      options.json = true;
      continue;
    }
    if (name != "--host" && name != "--port" && name != "--deadline") {
      options.error = std::string("unknown option ").append(name);
      return options;
    }
    if (i + 1 >= arguments.size()) {
      options.error = std::string(name).append(" needs a value");
      return options;
    }
    const std::string_view value = arguments[++i];
    if (name == "--host") {
      options.host = from_utf8(value);
    } else if (name == "--deadline") {
      const auto deadline = parse_milliseconds(value);
      if (!deadline || *deadline == 0) {
        options.error = "--deadline needs a number of milliseconds";
        return options;
      }
      options.deadline_ms = *deadline;
    } else if (is_port(value)) {
      options.port = from_utf8(value);
    } else {
      options.error = std::string("--port needs a number from 1 to 65535, not \"").append(value).append("\"");
      return options;
    }
  }
  return options;
}

// "WHAT: CLASS (code N): MESSAGE" on standard error.
int failed(const std::string& what, const std::exception& e) {
  if (const auto* error = dynamic_cast<const Exception*>(&e)) {
    std::fprintf(stderr, "wardenix-inspect: %s: %s (code %d): %s\n", what.c_str(), error->ClassName(),
                 static_cast<int>(ErrorCodeOf(*error).value_or(0)), error->what());
  } else {
    std::fprintf(stderr, "wardenix-inspect: %s: %s\n", what.c_str(), e.what());
  }
  return 1;
}

// "the deadline of N ms passed WHERE" on standard error, WHERE saying what it ended.
int deadline_passed(std::uint32_t deadline_ms, const std::string& where) {
  std::fprintf(stderr, "wardenix-inspect: the deadline of %lu ms passed %s\n",
               static_cast<unsigned long>(deadline_ms), where.c_str());
  return 1;
}

// Connects as the watchdog does and runs `call` (named `what`) on the
// connection, both against the deadline, which ends the blocked connect or
// call as the watchdogs end it. 0 when both went well; else 1, with the
// failure, or the deadline and where it found the command, on standard error.
int with_server(const Options& options, const std::string& what,
                const std::function<void(TSQLConnection&)>& call) {
  const ServerAddress address = server_address(options.host, options.port);
  const std::string server = to_utf8(address.host).append(":").append(to_utf8(address.port));
  TSQLConnection connection(default_driver_registry());
  // Where the command is: the connect's step under way, then the call.
  std::atomic<ProbeStep> step{ProbeStep::TcpConnect};
  std::atomic<bool> calling{false};
  connection.OnPhase = [&step](ConnectionPhase ended) {
    const ProbeStep done = probe_step_of(ended);
    if (done < ProbeStep::Metadata) step = static_cast<ProbeStep>(static_cast<int>(done) + 1);
  };
  std::string passed_in;
  DeadlineWatch deadline(connection, std::chrono::milliseconds(options.deadline_ms), [&] {
    passed_in = calling ? std::string("in ").append(what).append(" on ").append(server).append(
                              "; the call was ended")
                        : std::string("while connecting to ")
                              .append(server)
                              .append(" (")
                              .append(probe_step_name(step))
                              .append("); the connect was ended");
  });
  try {
    connect_to_server(connection, address);
  } catch (const std::exception& e) {
    if (deadline.stop()) return deadline_passed(options.deadline_ms, passed_in);
    return failed(std::string("cannot connect to ").append(server), e);
  }
  calling = true;
  try {
    TSQLConnection::CallScope scope(connection);
    call(connection);
  } catch (const std::exception& e) {
    if (deadline.stop()) return deadline_passed(options.deadline_ms, passed_in);
    return failed(what, e);
  }
  // An answer that came in full as the deadline passed is still the answer.
  deadline.stop();
  return 0;
}

// JSON written to standard output as it grows.
JsonWriter standard_output_json() {
  return JsonWriter([](std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); });
}

}  // namespace

int run_call(const std::vector<std::string_view>& arguments) {
  if (arguments.size() == 1 && arguments[0] == "--list") {
    for (const RemoteMethod& method : remote_methods()) std::printf("%s\n", method_signature(method).c_str());
    return 0;
  }
  const Options options = read_options(arguments, false);
  if (!options.error.empty()) return usage_error(kCallUsage, options.error);
  if (options.used >= arguments.size()) return usage_error(kCallUsage, "");
  const std::string_view name = arguments[options.used];
  const RemoteMethod* method = find_remote_method(name);
  if (!method) {
    return usage_error(kCallUsage, std::string("no remote method \"")
                                       .append(name)
                                       .append("\" in the proxy (`wardenix-inspect call --list` lists them)"));
  }
  const std::span<const std::string_view> texts(arguments.data() + options.used + 1,
                                                arguments.size() - options.used - 1);
  if (texts.size() != method->parameters.size()) {
    return usage_error(kCallUsage, method_signature(*method)
                                       .append(" takes ")
                                       .append(std::to_string(method->parameters.size()))
                                       .append(" arguments, not ")
                                       .append(std::to_string(texts.size())));
  }
  const Binding binding = method->bind(texts);
  if (!binding.call) {
    const MethodParameter& parameter = method->parameters[binding.argument];
    return usage_error(kCallUsage, std::string("argument ")
                                       .append(std::to_string(binding.argument + 1))
                                       .append(" of ")
                                       .append(method->name)
                                       .append(" (")
                                       .append(parameter.name)
                                       .append(": ")
                                       .append(value_type_name(parameter.type))
                                       .append("): ")
                                       .append(binding.error));
  }

  JsonWriter json = standard_output_json();
  const int status = with_server(options, std::string("TdtmPrincipal.").append(method->name),
                                 [&](TSQLConnection& connection) {
                                   // The proxy borrows the connection and is freed before it.
                                   TdtmPrincipalClient proxy(connection.DBXConnection(), false);
                                   json.begin_object().key("method").string(method->name);
                                   binding.call(proxy, json);
                                   json.end_object();
                                 });
  if (status != 0) return status;
  json.flush();
  std::fputc('\n', stdout);
  return 0;
}

int run_methods(const std::vector<std::string_view>& arguments) {
  const Options options = read_options(arguments, true);
  if (!options.error.empty()) return usage_error(kMethodsUsage, options.error);
  if (options.used != arguments.size()) return usage_error(kMethodsUsage, "");
  std::vector<UString> names;
  const int status = with_server(options, "the method list", [&names](TSQLConnection& connection) {
    // The driver's own connection: the list is its commands of the server-method type.
    auto& client = dynamic_cast<TDBXClientConnection&>(*connection.DBXConnection());
    names = client.GetCommands(u"DataSnap.ServerMethod");
  });
  if (status != 0) return status;
  if (options.json) {
    JsonWriter json = standard_output_json();
    json.begin_object().key("methods").begin_array();
    for (const UString& name : names) json.string(to_utf8(name));
    json.end_array().end_object();
    json.flush();
    std::fputc('\n', stdout);
  } else {
    for (const UString& name : names) std::printf("%s\n", to_utf8(name).c_str());
  }
  return 0;
}

}  // namespace wardenix
