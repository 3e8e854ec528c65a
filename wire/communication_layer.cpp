#include "wire/communication_layer.h"

#include <optional>
#include <utility>

#include "runtime/mutex.h"
#include "wire/tcp_layer.h"

namespace wardenix {
namespace {

struct Registry {
  Mutex mutex;
  // Absent after the last layer went away; the next registration creates a
  // fresh list. The built-in layer is there from the first use on.
  std::optional<std::vector<std::pair<UString, TDBXCommunicationLayerFactory::Creator>>> layers
      GUARDED_BY(mutex);
  bool built_in_registered GUARDED_BY(mutex) = false;
};

Registry& registry() {
  static Registry r;
  return r;
}

auto& layers_of(Registry& r) REQUIRES(r.mutex) {
  if (!r.built_in_registered) {
    r.built_in_registered = true;
    r.layers.emplace();
    r.layers->emplace_back(u"tcp/ip", [] { return std::make_unique<TDBXTCPLayer>(); });
  }
  if (!r.layers) r.layers.emplace();
  return *r.layers;
}

}  // namespace

void TDBXCommunicationLayerFactory::RegisterLayer(UStringView id, Creator creator) {
  Registry& r = registry();
  MutexLock lock(r.mutex);
  auto& layers = layers_of(r);
  for (auto& entry : layers) {
    if (equals_ascii_ci(entry.first, id)) {
      entry.second = std::move(creator);
      return;
    }
  }
  layers.emplace_back(UString(id), std::move(creator));
}

void TDBXCommunicationLayerFactory::UnregisterLayer(UStringView id) {
  Registry& r = registry();
  MutexLock lock(r.mutex);
  auto& layers = layers_of(r);
  std::erase_if(layers, [&](const auto& entry) { return equals_ascii_ci(entry.first, id); });
  if (layers.empty()) r.layers.reset();
}

std::unique_ptr<TDBXCommunicationLayer> TDBXCommunicationLayerFactory::CommunicationLayer(
    UStringView id) {
  Creator creator;
  {
    Registry& r = registry();
    MutexLock lock(r.mutex);
    for (const auto& entry : layers_of(r)) {
      if (equals_ascii_ci(entry.first, id)) creator = entry.second;
    }
  }
  if (!creator) return nullptr;
  try {
    return creator();
  } catch (...) {
    return nullptr;
  }
}

std::vector<UString> TDBXCommunicationLayerFactory::RegisteredLayerList() {
  Registry& r = registry();
  MutexLock lock(r.mutex);
  std::vector<UString> ids;
  for (const auto& entry : layers_of(r)) ids.push_back(entry.first);
  return ids;
}

}  // namespace wardenix
