#include "wire/transport_filter.h"

#include "runtime/mutex.h"

namespace wardenix {
namespace {

struct Registry {
  Mutex mutex;
  std::vector<std::pair<UString, TTransportFilterFactory::Creator>> filters GUARDED_BY(mutex);
};

Registry& registry() {
  static Registry r;
  return r;
}

}  // namespace

void TTransportFilterFactory::RegisterFilter(UStringView id, Creator creator) {
  Registry& r = registry();
  MutexLock lock(r.mutex);
  for (auto& entry : r.filters) {
    if (entry.first == id) {
      entry.second = std::move(creator);
      return;
    }
  }
  r.filters.emplace_back(UString(id), std::move(creator));
}

void TTransportFilterFactory::UnregisterFilter(UStringView id) {
  Registry& r = registry();
  MutexLock lock(r.mutex);
  std::erase_if(r.filters, [&](const auto& entry) { return entry.first == id; });
}

std::unique_ptr<TTransportFilter> TTransportFilterFactory::CreateFilter(UStringView id) {
  Creator creator;
  {
    Registry& r = registry();
    MutexLock lock(r.mutex);
    for (const auto& entry : r.filters) {
      if (entry.first == id) creator = entry.second;
    }
  }
  if (!creator) return nullptr;
  try {
    return creator();
  } catch (...) {
    return nullptr;
  }
}

std::vector<UString> TTransportFilterFactory::RegisteredFilterList() {
  Registry& r = registry();
  MutexLock lock(r.mutex);
  std::vector<UString> ids;
  for (const auto& entry : r.filters) ids.push_back(entry.first);
  return ids;
}

}  // namespace wardenix
