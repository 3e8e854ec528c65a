#include "sysops/service_state.h"

namespace wardenix {

std::int32_t QueryServiceState(UStringView, UStringView) { return -2; }

}  // namespace wardenix
