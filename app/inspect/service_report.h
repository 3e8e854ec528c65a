#pragma once
// wardenix-inspect service: the state of a service as the watchdog's database
// check sees it, as a number and its meaning.
#include <cstdint>
#include <string>

#include "app/inspect/json_writer.h"
#include "runtime/ustring.h"

namespace wardenix {

struct ServiceReport {
  UString name;
  std::int32_t state = 0;  // what the service state query answers

  // Only 4 lets the watchdog go on to supervise the server.
  bool running() const { return state == 4; }
};

const char* service_state_meaning(std::int32_t state);
std::string service_text(const ServiceReport& report);
void write_service_json(const ServiceReport& report, JsonWriter& json);

}  // namespace wardenix
