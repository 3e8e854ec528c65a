#include "sysops/system_ops.h"

#include "sysops/launch.h"
#include "sysops/process_check.h"
#include "sysops/service_state.h"
#include "sysops/termination.h"

namespace wardenix {
namespace {

class PlatformSystemOps final : public SystemOps {
 public:
  std::int32_t QueryServiceState(UStringView service_name, UStringView machine_name) override {
    return wardenix::QueryServiceState(service_name, machine_name);
  }
  std::uint32_t VerificaProcesso(UStringView image_name) override {
    return wardenix::VerificaProcesso(image_name);
  }
  LaunchOutcome LaunchProgram(UStringView command_line) override {
    return wardenix::LaunchProgram(command_line);
  }
  TerminationReport ForceTerminateServer() override { return wardenix::ForceTerminateServer(); }
  bool ProcessRunning(std::uint32_t pid) override { return wardenix::ProcessRunning(pid); }
};

}  // namespace

std::unique_ptr<SystemOps> make_platform_system_ops() {
  return std::make_unique<PlatformSystemOps>();
}

}  // namespace wardenix
