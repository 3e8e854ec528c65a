#pragma once
// wardenix-inspect config: what the watchdog reads from rez.ini (its host and
// port, with the line each came from and how the file's text was read) and
// whether it can work with those values.
#include <functional>
#include <optional>
#include <string>

#include "app/inspect/json_writer.h"
#include "runtime/ustring.h"
#include "supervisor/ini_file.h"

namespace wardenix {

struct ConfigValue {
  const char* key = "";    // "IPDS" or "PORTADS"
  UString value;           // as the watchdog takes it
  std::size_t line = 0;    // 0: the key is missing and the default applies
  std::string problem;     // empty when the watchdog can use the value
};

struct ConfigReport {
  UString file;
  bool file_read = false;  // false: missing or unreadable; the defaults apply
  IniEncoding encoding = IniEncoding::NoMark;
  ConfigValue host;
  ConfigValue port;

  bool usable() const { return host.problem.empty() && port.problem.empty(); }
};

// The lookup's error text for a host that does not resolve, none when it does.
using HostResolver = std::function<std::optional<UString>(UStringView host)>;

// The rez.ini the watchdog reads: the one in this program's own directory.
UString own_config_file();

// Empty when the watchdog can use `port`, else why it cannot.
std::string port_problem(const UString& port);

// Reads `file` as the watchdog reads its rez.ini and judges the values.
ConfigReport check_config(const UString& file, const HostResolver& resolve);

// One line per fact, for people.
std::string config_text(const ConfigReport& report);
void write_config_json(const ConfigReport& report, JsonWriter& json);

}  // namespace wardenix
