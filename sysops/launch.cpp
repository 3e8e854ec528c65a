#include "sysops/launch.h"

namespace wardenix {

bool LaunchProgram(UStringView) { return false; }

void ForceTerminateServer() {}

}  // namespace wardenix
