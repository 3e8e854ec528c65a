#pragma once
// Looks for running processes.
#include <cstdint>
#include <vector>

#include "runtime/ustring.h"

namespace wardenix {

// The identifier of the first process whose image name matches `Nome`
// (ASCII letters compared without case), or 0 when none runs.
std::uint32_t VerificaProcesso(UStringView Nome);

// Every process whose image name matches `Nome`, as VerificaProcesso matches.
std::vector<std::uint32_t> FindProcesses(UStringView Nome);

// Whether the process `pid` still runs; one that has ended but not been
// collected yet counts as ended, one this program may not look at as running.
bool ProcessRunning(std::uint32_t pid);

}  // namespace wardenix
