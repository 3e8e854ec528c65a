#include "sysops/process_check.h"

namespace wardenix {

std::uint32_t VerificaProcesso(UStringView) { return 0; }

}  // namespace wardenix
