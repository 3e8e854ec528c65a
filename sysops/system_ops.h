#pragma once
// The system operations the supervisor uses, behind one interface so that
// tests can replace them with stand-ins.
#include <cstdint>
#include <memory>

#include "runtime/ustring.h"
#include "sysops/launch.h"
#include "sysops/termination.h"

namespace wardenix {

class SystemOps {
 public:
  virtual ~SystemOps() = default;
  virtual std::int32_t QueryServiceState(UStringView service_name, UStringView machine_name) = 0;
  virtual std::uint32_t VerificaProcesso(UStringView image_name) = 0;
  virtual LaunchOutcome LaunchProgram(UStringView command_line) = 0;
  virtual TerminationReport ForceTerminateServer() = 0;
  // For the diagnostic stream only: whether a process started or ended
  // above still runs.
  virtual bool ProcessRunning(std::uint32_t pid) = 0;
};

// The operations of this machine.
std::unique_ptr<SystemOps> make_platform_system_ops();

}  // namespace wardenix
