#include <windows.h>

#include <map>

#include "msgreceiver/receiver_platform_win.h"

namespace wardenix {
namespace {

// The library's entry points take their first three arguments in EAX, EDX
// and ECX and return in EAX (AL for a Boolean); with no more than three
// arguments the stack is not touched.
#if defined(__i386__)
#define WARDENIX_REGISTER_CALL __attribute__((regparm(3)))
#else
#define WARDENIX_REGISTER_CALL
#endif

using DezozUDEValidFn = bool(WARDENIX_REGISTER_CALL*)();
using RegisterReceiverFn = std::int32_t(WARDENIX_REGISTER_CALL*)(std::uint32_t, const unsigned char*);
using UnregisterReceiverFn = std::int32_t(WARDENIX_REGISTER_CALL*)(std::uint32_t);

template <typename Fn>
Fn entry_point(HMODULE module, const char* name) {
  const FARPROC address = GetProcAddress(module, name);
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(address));
}

class Win32Library final : public BroadcastLibrary {
 public:
  explicit Win32Library(HMODULE module)
      : module_(module),
        valid_(entry_point<DezozUDEValidFn>(module, "DezozUDEValid")),
        register_(entry_point<RegisterReceiverFn>(module, "RegisterReceiver")),
        unregister_(entry_point<UnregisterReceiverFn>(module, "UnregisterReceiver")) {}
  ~Win32Library() override { FreeLibrary(module_); }

  // A library that lacks an entry point is never called: it counts as not
  // valid, so it is neither registered with nor unregistered from.
  bool DezozUDEValid() override {
    return valid_ && register_ && unregister_ && valid_();
  }
  std::int32_t RegisterReceiver(std::uint32_t Hnd, const ShortString& CName) override {
    return register_(Hnd, CName.c_str());
  }
  std::int32_t UnregisterReceiver(std::uint32_t Hnd) override { return unregister_(Hnd); }

 private:
  HMODULE module_;
  DezozUDEValidFn valid_;
  RegisterReceiverFn register_;
  UnregisterReceiverFn unregister_;
};

constexpr wchar_t kHookProperty[] = L"WardenixMsgReceiver";

class Win32Platform final : public ReceiverPlatform {
 public:
  explicit Win32Platform(std::function<void(UStringView, UStringView)> error_box)
      : error_box_(std::move(error_box)) {}

  ~Win32Platform() override {
    for (const auto& [window, hook] : hooks_) {
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(hook.original));
      RemovePropW(window, kHookProperty);
    }
  }

  void ReplaceWindowProcedure(NativeWindow handle, WindowProcedure procedure) override {
    const HWND window = reinterpret_cast<HWND>(handle);
    Hook hook;
    hook.procedure = std::move(procedure);
    hook.original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
    hooks_[window] = std::move(hook);
    SetPropW(window, kHookProperty, this);
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Thunk));
  }

  void RestoreWindowProcedure(NativeWindow handle) override {
    const HWND window = reinterpret_cast<HWND>(handle);
    const auto it = hooks_.find(window);
    if (it == hooks_.end()) return;
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(it->second.original));
    RemovePropW(window, kHookProperty);
    hooks_.erase(it);
  }

  std::intptr_t CallPreviousProcedure(NativeWindow handle, const WindowMessage& message) override {
    const HWND window = reinterpret_cast<HWND>(handle);
    const auto it = hooks_.find(window);
    const WNDPROC previous = it != hooks_.end()
                                 ? it->second.original
                                 : reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
    return CallWindowProcW(previous, window, message.Msg, message.WParam, message.LParam);
  }

  std::uint32_t RegisterMessage(UStringView name) override {
    const std::wstring wide(name.begin(), name.end());
    return RegisterWindowMessageW(wide.c_str());
  }

  std::unique_ptr<BroadcastLibrary> LoadBroadcastLibrary() override {
    const HMODULE module = LoadLibraryW(L"DEZOZUDE.DLL");
    if (reinterpret_cast<std::uintptr_t>(module) <= 32) return nullptr;
    return std::make_unique<Win32Library>(module);
  }

  void ShowErrorBox(UStringView caption, UStringView text) override {
    if (error_box_) {
      error_box_(caption, text);
      return;
    }
    const std::wstring wide_caption(caption.begin(), caption.end());
    const std::wstring wide_text(text.begin(), text.end());
    MessageBoxW(nullptr, wide_text.c_str(), wide_caption.c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
  }

 private:
  struct Hook {
    WNDPROC original = nullptr;
    WindowProcedure procedure;
  };

  static LRESULT CALLBACK Thunk(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
    auto* self = static_cast<Win32Platform*>(GetPropW(window, kHookProperty));
    if (self) {
      const auto it = self->hooks_.find(window);
      if (it != self->hooks_.end()) {
        // A copy: on WM_DESTROY the procedure unhooks itself while it runs.
        const WindowProcedure procedure = it->second.procedure;
        return procedure(WindowMessage{msg, wparam, static_cast<std::intptr_t>(lparam)});
      }
    }
    return DefWindowProcW(window, msg, wparam, lparam);
  }

  std::function<void(UStringView, UStringView)> error_box_;
  std::map<HWND, Hook> hooks_;
};

}  // namespace

std::unique_ptr<ReceiverPlatform> make_win32_receiver_platform(
    std::function<void(UStringView caption, UStringView text)> error_box) {
  return std::make_unique<Win32Platform>(std::move(error_box));
}

}  // namespace wardenix
