#include "dataset/app_server.h"

#include "runtime/errors.h"

namespace wardenix {

void CheckAppServerStatus(const AppServerStatus& status) {
  if (status.Failed()) throw EOleException(status.ErrorText, status.Status);
}

}  // namespace wardenix
