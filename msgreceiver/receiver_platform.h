#pragma once
// What the broadcast receiver needs from the window system: replacing a
// window's procedure, registered messages, the broadcast library and a modal
// error box. Windows provides it with window procedures; the Linux desktop
// front end with X11 client messages.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "runtime/ustring.h"

namespace wardenix {

// A window handle of the platform (HWND, X11 window id).
using NativeWindow = std::uintptr_t;

struct WindowMessage {
  std::uint32_t Msg = 0;
  std::uintptr_t WParam = 0;
  std::intptr_t LParam = 0;
};

// The message that a window receives while it is being destroyed.
inline constexpr std::uint32_t WM_DESTROY_MESSAGE = 2;

using WindowProcedure = std::function<std::intptr_t(const WindowMessage&)>;

// A short string: a length byte, then at most 255 ANSI characters.
using ShortString = std::basic_string<unsigned char>;
ShortString to_short_string(UStringView text);

// The three entry points of the loaded broadcast library. Destroying the
// object unloads the library.
class BroadcastLibrary {
 public:
  virtual ~BroadcastLibrary() = default;
  virtual bool DezozUDEValid() = 0;
  virtual std::int32_t RegisterReceiver(std::uint32_t Hnd, const ShortString& CName) = 0;
  virtual std::int32_t UnregisterReceiver(std::uint32_t Hnd) = 0;
};

class ReceiverPlatform {
 public:
  virtual ~ReceiverPlatform() = default;
  // Routes every message of `window` to `procedure` until restored.
  virtual void ReplaceWindowProcedure(NativeWindow window, WindowProcedure procedure) = 0;
  virtual void RestoreWindowProcedure(NativeWindow window) = 0;
  // Passes a message to the procedure the window had before, with its result.
  virtual std::intptr_t CallPreviousProcedure(NativeWindow window, const WindowMessage& message) = 0;
  // The message number registered for `name` (never 0).
  virtual std::uint32_t RegisterMessage(UStringView name) = 0;
  // The library "DEZOZUDE.DLL"; none when it does not load.
  virtual std::unique_ptr<BroadcastLibrary> LoadBroadcastLibrary() = 0;
  // A modal message box with one "OK" button.
  virtual void ShowErrorBox(UStringView caption, UStringView text) = 0;
};

}  // namespace wardenix
