#include "mainloop/owning_thread.h"

#ifndef NDEBUG
#include <cstdio>
#include <cstdlib>

namespace wardenix {

void OwningThread::check(const char* what) const {
  const std::thread::id self = std::this_thread::get_id();
  std::thread::id owner{};
  if (owner_.compare_exchange_strong(owner, self) || owner == self) return;
  std::fprintf(stderr, "wardenix: %s called on a thread other than the one that owns it\n", what);
  std::fflush(stderr);
  std::abort();
}

}  // namespace wardenix
#endif
