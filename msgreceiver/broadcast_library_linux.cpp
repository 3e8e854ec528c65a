#include <dlfcn.h>

#include "msgreceiver/broadcast_library_linux.h"

namespace wardenix {
namespace {

using DezozUDEValidFn = bool (*)();
using RegisterReceiverFn = std::int32_t (*)(std::uint32_t, const unsigned char*);
using UnregisterReceiverFn = std::int32_t (*)(std::uint32_t);

template <typename Fn>
Fn entry_point(void* module, const char* name) {
  return reinterpret_cast<Fn>(dlsym(module, name));
}

class DlopenLibrary final : public BroadcastLibrary {
 public:
  explicit DlopenLibrary(void* module)
      : module_(module),
        valid_(entry_point<DezozUDEValidFn>(module, "DezozUDEValid")),
        register_(entry_point<RegisterReceiverFn>(module, "RegisterReceiver")),
        unregister_(entry_point<UnregisterReceiverFn>(module, "UnregisterReceiver")) {}
  ~DlopenLibrary() override { dlclose(module_); }

  // A library that lacks an entry point is never called: it counts as not
  // valid, so it is neither registered with nor unregistered from.
  bool DezozUDEValid() override { return valid_ && register_ && unregister_ && valid_(); }
  std::int32_t RegisterReceiver(std::uint32_t Hnd, const ShortString& CName) override {
    return register_(Hnd, CName.c_str());
  }
  std::int32_t UnregisterReceiver(std::uint32_t Hnd) override { return unregister_(Hnd); }

 private:
  void* module_;
  DezozUDEValidFn valid_;
  RegisterReceiverFn register_;
  UnregisterReceiverFn unregister_;
};

}  // namespace

std::unique_ptr<BroadcastLibrary> load_broadcast_library(const std::string& executable_directory) {
  std::string beside = executable_directory;
  if (!beside.empty() && beside.back() != '/') beside += '/';
  beside += kBroadcastLibraryFile;
  void* module = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) module = dlopen(kBroadcastLibraryFile, RTLD_NOW | RTLD_LOCAL);
  if (!module) return nullptr;
  return std::make_unique<DlopenLibrary>(module);
}

}  // namespace wardenix
