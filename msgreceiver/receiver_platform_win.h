#pragma once
// The broadcast receiver on Windows: window procedures replaced with
// SetWindowLongW, RegisterWindowMessageW, and "DEZOZUDE.DLL" loaded with
// LoadLibraryW and called with the register convention of that library.
// Windows only: included by its front end and tests.
#include <functional>
#include <memory>

#include "msgreceiver/receiver_platform.h"

namespace wardenix {

// `error_box` shows the modal error box; by default a system message box.
std::unique_ptr<ReceiverPlatform> make_win32_receiver_platform(
    std::function<void(UStringView caption, UStringView text)> error_box = {});

}  // namespace wardenix
