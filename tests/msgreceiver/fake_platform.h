#pragma once
// A window system on paper for the receiver: it records what the receiver
// asks of it, and the window's own procedure answers every message with a
// result derived from it.
#include <map>
#include <string>
#include <vector>

#include "msgreceiver/msg_receiver.h"

namespace wardenix::testing {

struct FakePlatform : ReceiverPlatform {
  enum class Library { Missing, Invalid, Valid };
  Library library = Library::Valid;
  std::vector<std::string> calls;
  std::map<NativeWindow, WindowProcedure> hooks;
  std::vector<std::uint32_t> reached_window;  // messages the window's own procedure got

  void ReplaceWindowProcedure(NativeWindow window, WindowProcedure procedure) override {
    calls.push_back("hook " + std::to_string(window));
    hooks[window] = std::move(procedure);
  }
  void RestoreWindowProcedure(NativeWindow window) override {
    calls.push_back("restore " + std::to_string(window));
    hooks.erase(window);
  }
  std::intptr_t CallPreviousProcedure(NativeWindow, const WindowMessage& message) override {
    reached_window.push_back(message.Msg);
    return static_cast<std::intptr_t>(message.Msg) * 1000 + static_cast<std::intptr_t>(message.WParam);
  }
  std::uint32_t RegisterMessage(UStringView name) override {
    calls.push_back("register message " + to_utf8(name));
    return 0xC123;
  }
  std::unique_ptr<BroadcastLibrary> LoadBroadcastLibrary() override {
    calls.push_back("load");
    if (library == Library::Missing) return nullptr;
    return std::make_unique<FakeLibrary>(*this);
  }
  void ShowErrorBox(UStringView caption, UStringView text) override {
    calls.push_back("box " + to_utf8(caption) + ": " + to_utf8(text));
  }

  // Sends a message to the window as the system would: through the hook
  // when there is one.
  std::intptr_t send(NativeWindow window, WindowMessage message) {
    const auto it = hooks.find(window);
    if (it == hooks.end()) return CallPreviousProcedure(window, message);
    const WindowProcedure procedure = it->second;
    return procedure(message);
  }

  struct FakeLibrary : BroadcastLibrary {
    explicit FakeLibrary(FakePlatform& p) : platform(p) {}
    ~FakeLibrary() override { platform.calls.push_back("unload"); }
    bool DezozUDEValid() override {
      platform.calls.push_back("valid");
      return platform.library == Library::Valid;
    }
    std::int32_t RegisterReceiver(std::uint32_t Hnd, const ShortString& CName) override {
      platform.calls.push_back("register " + std::to_string(Hnd) + " " +
                               std::string(CName.begin() + 1, CName.end()));
      return 7;
    }
    std::int32_t UnregisterReceiver(std::uint32_t Hnd) override {
      platform.calls.push_back("unregister " + std::to_string(Hnd));
      return 0;
    }
    FakePlatform& platform;
  };
};

}  // namespace wardenix::testing
