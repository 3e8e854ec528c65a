#include "dbx/dbx_context.h"

namespace wardenix {

void TDBXContext::Trace(UStringView text) const {
  if (trace_) trace_(text);
}

void TDBXContext::Error(std::int32_t code, UString message) const {
  TDBXError error(code, std::move(message));
  if (on_error_) on_error_(error);
  throw error;
}

}  // namespace wardenix
