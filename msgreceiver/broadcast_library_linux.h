#pragma once
// The broadcast library on Linux: "libdezozude.so" in the executable's
// directory, else wherever the dynamic loader finds it, with the three entry
// points as plain C functions.
#include <memory>
#include <string>

#include "msgreceiver/receiver_platform.h"

namespace wardenix {

inline constexpr char kBroadcastLibraryFile[] = "libdezozude.so";

// None when the library does not load.
std::unique_ptr<BroadcastLibrary> load_broadcast_library(const std::string& executable_directory);

}  // namespace wardenix
