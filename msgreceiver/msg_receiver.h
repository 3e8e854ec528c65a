#pragma once
// TMsgReceiver: a component of a form that puts itself in front of the form's
// window procedure, registers the form's window with the broadcast library
// and turns one registered window message, named by IDString, into calls of
// OnIDMessage.
#include <cstdint>
#include <functional>
#include <memory>

#include "msgreceiver/receiver_platform.h"
#include "runtime/errors.h"

namespace wardenix {

class EOwnerNotWinControl : public Exception {
 public:
  EOwnerNotWinControl();
  const char* ClassName() const noexcept override { return "EOwnerNotWinControl"; }
};

class EMultipleMsgReceivers : public Exception {
 public:
  EMultipleMsgReceivers();
  const char* ClassName() const noexcept override { return "EMultipleMsgReceivers"; }
};

class TMsgReceiver;

// The form that owns the receiver, as the receiver sees it.
struct ReceiverOwner {
  UString ClassName;
  // The form's window, created when it does not exist yet. Empty when the
  // owner is not a windowed control.
  std::function<NativeWindow()> Handle;
  // The receiver the form already owns; one at most.
  TMsgReceiver* MsgReceiver = nullptr;
};

using TMsgReceiverEvent = std::function<std::int32_t(std::uint16_t wParam, std::int32_t iParam)>;

class TMsgReceiver {
 public:
  // Hooks the owner's window, loads the library (an error box when it does
  // not load) and registers the window with it.
  TMsgReceiver(ReceiverOwner* AOwner, ReceiverPlatform& platform);
  TMsgReceiver(const TMsgReceiver&) = delete;
  TMsgReceiver& operator=(const TMsgReceiver&) = delete;
  virtual ~TMsgReceiver();

  const UString& IDString() const { return FIDString; }
  void SetIDString(UStringView value);
  std::int32_t ReceiverNum() const { return FReceiverNum; }
  std::uint32_t MessageID() const { return FMessageID; }
  bool Hooked() const { return WndProcHooked; }

  TMsgReceiverEvent OnIDMessage;
  // Where a failure of OnIDMessage goes (the application's error box); it
  // never crosses the window system.
  std::function<void(const std::exception&)> OnException;

  // The receiver's window procedure.
  virtual std::intptr_t WndProc(const WindowMessage& message);

 private:
  void RecomputeMessageID();
  void WMDestroy();

  UString FIDString;
  std::uint32_t FMessageID = 0;
  std::int32_t FReceiverNum = -1;
  std::unique_ptr<BroadcastLibrary> Library;
  bool DLLValid = false;
  bool WndProcHooked = false;
  NativeWindow OwnerHandle = 0;
  ReceiverOwner* Owner;
  ReceiverPlatform& Platform;
};

}  // namespace wardenix
