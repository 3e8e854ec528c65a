#include "app/inspect/config_report.h"

#include <string_view>

#include "app/inspect/join_text.h"
#include "sysops/host_info.h"

namespace wardenix {
namespace {

ConfigValue value_of(const char* key, const IniLookup& found, UStringView default_value) {
  ConfigValue value;
  value.key = key;
  value.value = found.value.value_or(UString(default_value));
  value.line = found.value ? found.line : 0;
  return value;
}

std::string quoted(const UString& text) { return join({"\"", to_utf8(text), "\""}); }

const char* encoding_text(IniEncoding encoding) {
  switch (encoding) {
    case IniEncoding::Utf8Mark: return "UTF-8 with a byte-order mark";
    case IniEncoding::Utf16LE: return "UTF-16 little-endian with a byte-order mark";
    case IniEncoding::Utf16BE: return "UTF-16 big-endian with a byte-order mark";
    case IniEncoding::NoMark: break;
  }
  return "no byte-order mark: each line UTF-8 when it is valid UTF-8, else Latin-1";
}

std::string origin(const ConfigValue& value) {
  return value.line ? join({"line ", std::to_string(value.line)}) : "the default: the key is missing";
}

}  // namespace

UString own_config_file() {
  return directory_of(make_platform_host_info()->executable_path()) + u"rez.ini";
}

std::string port_problem(const UString& port) {
  const bool digits = !port.empty() && port.size() <= 5 &&
                      port.find_first_not_of(u"0123456789") == UString::npos;
  if (digits) {
    const long number = std::stol(to_utf8(port));
    if (number >= 1 && number <= 65535) return {};
  }
  return join({quoted(port), " is not a port: a number from 1 to 65535 is needed"});
}

ConfigReport check_config(const UString& file, const HostResolver& resolve) {
  // The same keys and defaults as the window's show step.
  const IniFile ini(file);
  const IniLookup host = ini.Look(u"REZ", u"IPDS");
  const IniLookup port = ini.Look(u"REZ", u"PORTADS");
  ConfigReport report;
  report.file = file;
  report.file_read = host.file_read;
  report.encoding = host.encoding;
  report.host = value_of("IPDS", host, u"localhost");
  report.port = value_of("PORTADS", port, u"3063");
  if (report.host.value.empty()) {
    report.host.problem = "the host is empty";
  } else if (const auto error = resolve(report.host.value)) {
    report.host.problem = join({quoted(report.host.value), " does not resolve: ", to_utf8(*error)});
  }
  report.port.problem = port_problem(report.port.value);
  return report;
}

std::string config_text(const ConfigReport& report) {
  std::string out = join({"file:     ", to_utf8(report.file), "\n", "encoding: ",
                          report.file_read ? encoding_text(report.encoding)
                                           : "(missing or unreadable: the defaults apply)",
                          "\n"});
  for (const ConfigValue* value : {&report.host, &report.port}) {
    const std::string_view key = value->key;
    out += join({key, ":", std::string(9 - key.size(), ' '), quoted(value->value), " (", origin(*value),
                 ")\n"});
  }
  for (const ConfigValue* value : {&report.host, &report.port}) {
    if (!value->problem.empty()) out += join({"problem:  ", value->key, ": ", value->problem, "\n"});
  }
  out += report.usable() ? "OK\n" : "NOT USABLE\n";
  return out;
}

void write_config_json(const ConfigReport& report, JsonWriter& json) {
  json.begin_object();
  json.key("file").string(to_utf8(report.file));
  json.key("file_read").boolean(report.file_read);
  json.key("encoding");
  if (report.file_read) {
    json.string(encoding_text(report.encoding));
  } else {
    json.null();
  }
  for (const ConfigValue* value : {&report.host, &report.port}) {
    json.key(value->key).begin_object();
    json.key("value").string(to_utf8(value->value));
    json.key("line");
    if (value->line) {
      json.unsigned_integer(value->line);
    } else {
      json.null();
    }
    json.key("problem");
    if (value->problem.empty()) {
      json.null();
    } else {
      json.string(value->problem);
    }
    json.end_object();
  }
  json.key("usable").boolean(report.usable());
  json.end_object();
}

}  // namespace wardenix
