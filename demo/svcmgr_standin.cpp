// wardenix-svcmgr-standin: stands in for systemd on a private system bus, for
// the demo environment and the tests of the service state query. It owns
// "org.freedesktop.systemd1" and serves the manager's LoadUnit and GetUnit and
// unit objects with the properties Id, LoadState, ActiveState and
// FreezerState, for the units named on its command line:
//
//   wardenix-svcmgr-standin [--hang] --unit NAME=STATE[/FREEZER] ...
//
// STATE is reported as the unit's ActiveState, whatever word it is, except:
//   unreadable    the unit loads, but reading its properties fails
//   denied        LoadUnit and GetUnit answer "access denied"
//   no-such-unit  LoadUnit and GetUnit answer NoSuchUnit
// FREEZER is the FreezerState; without it that property cannot be read (as
// with systemd before freezing existed). A unit not named loads as systemd
// loads one without a unit file: LoadState "not-found", ActiveState
// "inactive"; GetUnit answers NoSuchUnit for it.
// --hang: owns the name but never answers, like a hung service manager.
//
// The bus is the system bus: DBUS_SYSTEM_BUS_ADDRESS, else the standard one.
// The program ends when its bus goes away or on SIGTERM/SIGINT.
#include <poll.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>

namespace {

constexpr char kManagerName[] = "org.freedesktop.systemd1";
constexpr char kManagerPath[] = "/org/freedesktop/systemd1";
constexpr char kUnitPathPrefix[] = "/org/freedesktop/systemd1/unit";
constexpr char kNoSuchUnit[] = "org.freedesktop.systemd1.NoSuchUnit";

struct Unit {
  std::string id;
  std::string load_state = "loaded";
  std::string active_state;
  std::string freezer_state;  // empty: the property cannot be read
  bool unreadable = false;
  bool denied = false;
  bool absent = false;  // answers NoSuchUnit
};

struct Manager {
  std::map<std::string, Unit, std::less<>> units;
};

bool parse_unit(std::string_view text, Unit& unit) {
  const auto equals = text.find('=');
  if (equals == std::string_view::npos || equals == 0 || equals + 1 == text.size()) return false;
  unit.id = std::string(text.substr(0, equals));
  std::string_view state = text.substr(equals + 1);
  const auto slash = state.find('/');
  if (slash != std::string_view::npos) {
    unit.freezer_state = std::string(state.substr(slash + 1));
    state = state.substr(0, slash);
  }
  if (state == "unreadable") {
    unit.unreadable = true;
  } else if (state == "denied") {
    unit.denied = true;
  } else if (state == "no-such-unit") {
    unit.absent = true;
  } else {
    unit.active_state = std::string(state);
  }
  return !state.empty();
}

std::string unit_path(const std::string& id) {
  char* path = nullptr;
  if (sd_bus_path_encode(kUnitPathPrefix, id.c_str(), &path) < 0) return {};
  std::string result(path);
  std::free(path);
  return result;
}

// Answers LoadUnit and GetUnit; only LoadUnit loads units it was not given.
int reply_unit(sd_bus_message* message, Manager& manager, bool load, sd_bus_error* error) {
  const char* name = nullptr;
  int r = sd_bus_message_read_basic(message, 's', &name);
  if (r < 0) return r;
  auto found = manager.units.find(std::string_view(name));
  if (found == manager.units.end()) {
    if (!load) return sd_bus_error_setf(error, kNoSuchUnit, "Unit %s not loaded.", name);
    Unit missing;
    missing.id = name;
    missing.load_state = "not-found";
    missing.active_state = "inactive";
    missing.freezer_state = "running";
    found = manager.units.emplace(missing.id, missing).first;
  }
  const Unit& unit = found->second;
  if (unit.denied) {
    return sd_bus_error_set(error, SD_BUS_ERROR_ACCESS_DENIED, "Access denied");
  }
  if (unit.absent) return sd_bus_error_setf(error, kNoSuchUnit, "Unit %s not found.", name);
  const std::string path = unit_path(unit.id);
  if (path.empty()) return -EINVAL;
  return sd_bus_reply_method_return(message, "o", path.c_str());
}

int method_load_unit(sd_bus_message* message, void* userdata, sd_bus_error* error) {
  return reply_unit(message, *static_cast<Manager*>(userdata), true, error);
}

int method_get_unit(sd_bus_message* message, void* userdata, sd_bus_error* error) {
  return reply_unit(message, *static_cast<Manager*>(userdata), false, error);
}

int get_property(sd_bus*, const char*, const char*, const char* property,
                 sd_bus_message* reply, void* userdata, sd_bus_error* error) {
  const Unit& unit = *static_cast<const Unit*>(userdata);
  if (unit.unreadable) {
    return sd_bus_error_setf(error, SD_BUS_ERROR_FAILED, "Cannot read %s.", property);
  }
  const std::string_view name(property);
  const std::string* value = &unit.id;
  if (name == "LoadState") value = &unit.load_state;
  if (name == "ActiveState") value = &unit.active_state;
  if (name == "FreezerState") {
    if (unit.freezer_state.empty()) {
      return sd_bus_error_setf(error, SD_BUS_ERROR_UNKNOWN_PROPERTY, "Unknown property %s.",
                               property);
    }
    value = &unit.freezer_state;
  }
  return sd_bus_message_append_basic(reply, 's', value->c_str());
}

// Finds the unit served at `path`.
int find_unit(sd_bus*, const char* path, const char*, void* userdata, void** found,
              sd_bus_error*) {
  auto& manager = *static_cast<Manager*>(userdata);
  char* id = nullptr;
  if (sd_bus_path_decode(path, kUnitPathPrefix, &id) <= 0) return 0;
  const auto unit = manager.units.find(std::string_view(id));
  std::free(id);
  if (unit == manager.units.end() || unit->second.absent || unit->second.denied) return 0;
  *found = &unit->second;
  return 1;
}

const sd_bus_vtable kManagerVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("LoadUnit", "s", "o", method_load_unit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("GetUnit", "s", "o", method_get_unit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};

const sd_bus_vtable kUnitVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Id", "s", get_property, 0, 0),
    SD_BUS_PROPERTY("LoadState", "s", get_property, 0, 0),
    SD_BUS_PROPERTY("ActiveState", "s", get_property, 0, 0),
    SD_BUS_PROPERTY("FreezerState", "s", get_property, 0, 0),
    SD_BUS_VTABLE_END};

volatile std::sig_atomic_t g_stop = 0;
void request_stop(int) { g_stop = 1; }

constexpr char kUsage[] =
    "usage: wardenix-svcmgr-standin [--hang] --unit NAME=STATE[/FREEZER] ...\n"
    "       wardenix-svcmgr-standin --help | --version\n"
    "\n"
    "Stands in for the service manager on the system bus (DBUS_SYSTEM_BUS_ADDRESS)\n"
    "for the demo and the tests, reporting each unit NAME as STATE (unreadable,\n"
    "denied and no-such-unit fail as their names say); --hang never answers.\n"
    "Exit status: 0 after SIGTERM, SIGINT or the end of its bus, 1 when it cannot\n"
    "serve the bus, 2 a usage error.\n";

int usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

int fail(const char* what, int r) {
  std::fprintf(stderr, "wardenix-svcmgr-standin: %s: %s\n", what, std::strerror(-r));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  Manager manager;
  bool hang = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (argc == 2 && (arg == "--help" || arg == "-h")) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (argc == 2 && arg == "--version") {
      std::printf("wardenix-svcmgr-standin %s\n", WARDENIX_VERSION_TEXT);
      return 0;
    } else if (arg == "--hang") {
      hang = true;
    } else if (arg == "--unit" && i + 1 < argc) {
      Unit unit;
      if (!parse_unit(argv[++i], unit)) return usage();
      manager.units[unit.id] = unit;
    } else {
      return usage();
    }
  }

  std::signal(SIGTERM, request_stop);
  std::signal(SIGINT, request_stop);

  sd_bus* bus = nullptr;
  int r = sd_bus_open_system(&bus);
  if (r < 0) return fail("cannot connect to the system bus", r);
  r = sd_bus_add_object_vtable(bus, nullptr, kManagerPath, "org.freedesktop.systemd1.Manager",
                               kManagerVtable, &manager);
  if (r < 0) return fail("cannot serve the manager", r);
  r = sd_bus_add_fallback_vtable(bus, nullptr, kUnitPathPrefix, "org.freedesktop.systemd1.Unit",
                                 kUnitVtable, find_unit, &manager);
  if (r < 0) return fail("cannot serve the units", r);
  r = sd_bus_request_name(bus, kManagerName, 0);
  if (r < 0) return fail("cannot own org.freedesktop.systemd1", r);

  while (g_stop == 0) {
    if (hang) {
      // Reads nothing, so every call waits; only the end of the bus counts.
      pollfd watch{sd_bus_get_fd(bus), 0, 0};
      if (poll(&watch, 1, 500) > 0) break;
      continue;
    }
    r = sd_bus_process(bus, nullptr);
    if (r < 0) break;  // the bus went away
    if (r > 0) continue;
    r = sd_bus_wait(bus, 500'000);  // wakes now and then to see a stop request
    if (r < 0 && r != -EINTR) break;
  }
  sd_bus_flush_close_unref(bus);
  return 0;
}
