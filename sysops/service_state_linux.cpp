// The service state from systemd, asked over the system D-Bus. The service
// named N is the unit "N.service"; sysops/README.md lists how its states map.
#include <systemd/sd-bus.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "sysops/service_state.h"

namespace wardenix {
namespace {

// The whole query, connection included, ends within this time, so a hung bus
// or service manager cannot hold the caller (the supervisor's main thread).
constexpr std::uint64_t kQueryBudgetUsec = 5'000'000;

constexpr char kDefaultSystemBusAddress[] = "unix:path=/run/dbus/system_bus_socket";
constexpr char kBusName[] = "org.freedesktop.DBus";
constexpr char kBusPath[] = "/org/freedesktop/DBus";
constexpr char kManagerName[] = "org.freedesktop.systemd1";
constexpr char kManagerPath[] = "/org/freedesktop/systemd1";
constexpr char kManagerInterface[] = "org.freedesktop.systemd1.Manager";
constexpr char kUnitInterface[] = "org.freedesktop.systemd1.Unit";
constexpr char kPropertiesInterface[] = "org.freedesktop.DBus.Properties";

constexpr std::int32_t kNoManager = -2;
constexpr std::int32_t kNoService = -1;
constexpr std::int32_t kNoStatus = 0;
constexpr std::int32_t kStopped = 1;
constexpr std::int32_t kStartPending = 2;
constexpr std::int32_t kStopPending = 3;
constexpr std::int32_t kRunning = 4;
constexpr std::int32_t kContinuePending = 5;
constexpr std::int32_t kPausePending = 6;
constexpr std::int32_t kPaused = 7;

std::uint64_t monotonic_usec() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000u +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
}

class Deadline {
 public:
  Deadline() : end_(monotonic_usec() + kQueryBudgetUsec) {}
  // Microseconds left, 0 once the deadline has passed.
  std::uint64_t remaining() const {
    const std::uint64_t now = monotonic_usec();
    return now < end_ ? end_ - now : 0;
  }

 private:
  std::uint64_t end_;
};

struct BusClose {
  void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
};
using BusPtr = std::unique_ptr<sd_bus, BusClose>;

struct MessageUnref {
  void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using MessagePtr = std::unique_ptr<sd_bus_message, MessageUnref>;

class BusError {
 public:
  BusError() = default;
  BusError(const BusError&) = delete;
  BusError& operator=(const BusError&) = delete;
  ~BusError() { sd_bus_error_free(&error_); }
  sd_bus_error* get() { return &error_; }

 private:
  sd_bus_error error_{};  // all empty, as SD_BUS_ERROR_NULL (a C compound literal)
};

// Connects to the system bus the way sd_bus_open_system does (its address
// from DBUS_SYSTEM_BUS_ADDRESS, else the standard socket), but waits for the
// bus's greeting only until `deadline`, where sd_bus_open_system would wait
// up to 25 s or longer.
BusPtr connect_system_bus(const Deadline& deadline) {
  sd_bus* raw = nullptr;
  if (sd_bus_new(&raw) < 0) return nullptr;
  BusPtr bus(raw);
  const char* address = secure_getenv("DBUS_SYSTEM_BUS_ADDRESS");
  if (sd_bus_set_address(bus.get(), address != nullptr ? address : kDefaultSystemBusAddress) < 0 ||
      sd_bus_set_bus_client(bus.get(), 1) < 0 || sd_bus_set_trusted(bus.get(), 0) < 0 ||
      sd_bus_start(bus.get()) < 0) {
    return nullptr;
  }
  for (;;) {
    const int ready = sd_bus_is_ready(bus.get());
    if (ready > 0) return bus;
    if (ready < 0) return nullptr;
    const int processed = sd_bus_process(bus.get(), nullptr);
    if (processed < 0) return nullptr;
    if (processed > 0) continue;
    const std::uint64_t left = deadline.remaining();
    if (left == 0 || sd_bus_wait(bus.get(), left) < 0) return nullptr;
  }
}

// Calls a method whose arguments are all strings; negative on failure, with
// `error` named when the failure has a name.
int call(sd_bus* bus, const Deadline& deadline, const char* destination, const char* path,
         const char* interface, const char* member, std::initializer_list<const char*> arguments,
         sd_bus_error* error, MessagePtr& reply) {
  sd_bus_message* raw = nullptr;
  int r = sd_bus_message_new_method_call(bus, &raw, destination, path, interface, member);
  if (r < 0) return r;
  const MessagePtr request(raw);
  for (const char* argument : arguments) {
    r = sd_bus_message_append_basic(request.get(), 's', argument);
    if (r < 0) return r;
  }
  // A timeout of 0 would mean the bus's default of 25 s.
  const std::uint64_t left = deadline.remaining();
  if (left == 0) return -ETIMEDOUT;
  sd_bus_message* answer = nullptr;
  r = sd_bus_call(bus, request.get(), left, error, &answer);
  reply.reset(answer);
  return r;
}

// True when someone owns the service manager's name on the bus.
bool manager_present(sd_bus* bus, const Deadline& deadline) {
  BusError error;
  MessagePtr reply;
  if (call(bus, deadline, kBusName, kBusPath, kBusName, "NameHasOwner", {kManagerName}, error.get(),
           reply) < 0) {
    return false;
  }
  int has_owner = 0;
  return sd_bus_message_read_basic(reply.get(), 'b', &has_owner) > 0 && has_owner != 0;
}

// Failures that mean the service manager did not answer, as opposed to an
// answer that refuses the unit.
bool manager_unreachable(const sd_bus_error* error) {
  if (!sd_bus_error_is_set(error)) return true;  // failed locally: timeout, lost connection
  return sd_bus_error_has_names(error, SD_BUS_ERROR_SERVICE_UNKNOWN, SD_BUS_ERROR_NAME_HAS_NO_OWNER,
                                SD_BUS_ERROR_NO_REPLY, SD_BUS_ERROR_TIMEOUT,
                                SD_BUS_ERROR_DISCONNECTED) > 0;
}

// Reads one text property of the unit at `unit_path`; false when it cannot.
bool read_unit_property(sd_bus* bus, const Deadline& deadline, const char* unit_path,
                        const char* property, std::string& value) {
  BusError error;
  MessagePtr reply;
  if (call(bus, deadline, kManagerName, unit_path, kPropertiesInterface, "Get",
           {kUnitInterface, property}, error.get(), reply) < 0) {
    return false;
  }
  const char* text = nullptr;
  if (sd_bus_message_enter_container(reply.get(), 'v', "s") <= 0 ||
      sd_bus_message_read_basic(reply.get(), 's', &text) <= 0 || text == nullptr) {
    return false;
  }
  value = text;
  return true;
}

// The state number of a unit's ActiveState; 0 for a state this build does
// not know.
std::int32_t state_of_active_state(std::string_view active) {
  if (active == "active" || active == "reloading" || active == "refreshing") return kRunning;
  // "maintenance": a stopped unit whose resources are being cleaned.
  if (active == "inactive" || active == "failed" || active == "maintenance") return kStopped;
  if (active == "activating") return kStartPending;
  if (active == "deactivating") return kStopPending;
  return kNoStatus;
}

// A running unit that is frozen is reported as paused, like a paused
// service; without a readable FreezerState it counts as running.
std::int32_t state_of_running_unit(sd_bus* bus, const Deadline& deadline, const char* unit_path) {
  std::string freezer;
  if (!read_unit_property(bus, deadline, unit_path, "FreezerState", freezer)) return kRunning;
  if (freezer == "frozen") return kPaused;
  if (freezer == "freezing") return kPausePending;
  if (freezer == "thawing") return kContinuePending;
  return kRunning;
}

std::string local_host_name() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

// Only this computer's service manager is reached: an empty name, "localhost"
// or the host name (without ASCII case, optionally written "\\name").
bool names_this_computer(UStringView machine) {
  if (machine.empty()) return true;
  if (machine.substr(0, 2) == u"\\\\") machine.remove_prefix(2);
  if (equals_ascii_ci(machine, u"localhost")) return true;
  const std::string host = local_host_name();
  return !host.empty() && equals_ascii_ci(machine, from_utf8(host));
}

}  // namespace

std::int32_t QueryServiceState(UStringView ServiceName, UStringView MachineName) {
  // The service managers of other machines are not reached over the network:
  // for them, as for a machine without one, opening the manager fails.
  if (!names_this_computer(MachineName)) return kNoManager;

  const Deadline deadline;
  const BusPtr bus = connect_system_bus(deadline);
  if (!bus || !manager_present(bus.get(), deadline)) return kNoManager;

  // A zero character cannot travel in a unit name.
  if (ServiceName.find(u'\0') != UStringView::npos) return kNoService;
  const std::string unit_name = to_utf8(ServiceName) + ".service";

  BusError error;
  MessagePtr reply;
  if (call(bus.get(), deadline, kManagerName, kManagerPath, kManagerInterface, "LoadUnit",
           {unit_name.c_str()}, error.get(), reply) < 0) {
    // Any refusal (no such unit, access denied, invalid name) means the
    // service cannot be opened.
    return manager_unreachable(error.get()) ? kNoManager : kNoService;
  }
  const char* path = nullptr;
  if (sd_bus_message_read_basic(reply.get(), 'o', &path) <= 0 || path == nullptr) return kNoService;
  const std::string unit_path = path;

  std::string load_state;
  if (!read_unit_property(bus.get(), deadline, unit_path.c_str(), "LoadState", load_state)) {
    return kNoStatus;
  }
  if (load_state == "not-found") return kNoService;

  std::string active_state;
  if (!read_unit_property(bus.get(), deadline, unit_path.c_str(), "ActiveState", active_state)) {
    return kNoStatus;
  }
  const std::int32_t state = state_of_active_state(active_state);
  return state == kRunning ? state_of_running_unit(bus.get(), deadline, unit_path.c_str()) : state;
}

}  // namespace wardenix
