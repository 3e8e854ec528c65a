#include "app/inspect/service_report.h"

namespace wardenix {

const char* service_state_meaning(std::int32_t state) {
  switch (state) {
    case -2: return "the service manager cannot be opened";
    case -1: return "the service cannot be opened: not installed, or no right to query it";
    case 0: return "the service's status cannot be read";
    case 1: return "stopped";
    case 2: return "start pending";
    case 3: return "stop pending";
    case 4: return "running";
    case 5: return "continue pending";
    case 6: return "pause pending";
    case 7: return "paused";
    default: return "unknown";
  }
}

std::string service_text(const ServiceReport& report) {
  std::string out = to_utf8(report.name);
  out.append(": ").append(std::to_string(report.state)).append(" (");
  out.append(service_state_meaning(report.state)).append(")\n");
#ifndef _WIN32
  out.append("asked: the systemd unit ").append(to_utf8(report.name)).append(".service on the system bus\n");
#endif
  return out;
}

void write_service_json(const ServiceReport& report, JsonWriter& json) {
  json.begin_object();
  json.key("service").string(to_utf8(report.name));
  json.key("state").integer(report.state);
  json.key("meaning").string(service_state_meaning(report.state));
  json.key("running").boolean(report.running());
  json.end_object();
}

}  // namespace wardenix
