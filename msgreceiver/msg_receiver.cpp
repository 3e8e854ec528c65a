#include "msgreceiver/msg_receiver.h"

namespace wardenix {

EOwnerNotWinControl::EOwnerNotWinControl()
    : Exception(u"Owner must be TWinControl or descendant") {}

EMultipleMsgReceivers::EMultipleMsgReceivers()
    : Exception(u"Only one TMsgReceiver allowed per form") {}

ShortString to_short_string(UStringView text) {
  const std::size_t length = text.size() < 255 ? text.size() : 255;
  ShortString result(1, static_cast<unsigned char>(length));
  for (std::size_t i = 0; i < length; ++i) {
    result.push_back(text[i] < 256 ? static_cast<unsigned char>(text[i]) : '?');
  }
  return result;
}

TMsgReceiver::TMsgReceiver(ReceiverOwner* AOwner, ReceiverPlatform& platform)
    : Owner(AOwner), Platform(platform) {
  if (!AOwner || !AOwner->Handle) throw EOwnerNotWinControl();
  if (AOwner->MsgReceiver) throw EMultipleMsgReceivers();
  OwnerHandle = AOwner->Handle();
  AOwner->MsgReceiver = this;

  Platform.ReplaceWindowProcedure(OwnerHandle,
                                  [this](const WindowMessage& message) { return WndProc(message); });
  WndProcHooked = true;

  Library = Platform.LoadBroadcastLibrary();
  if (!Library) {
    Platform.ShowErrorBox(u"Error", u"Could not load DLL \"DEZOZUDE.DLL\"");
  } else {
    DLLValid = Library->DezozUDEValid();
    RecomputeMessageID();
  }
  if (DLLValid) {
    FReceiverNum = Library->RegisterReceiver(static_cast<std::uint32_t>(OwnerHandle),
                                             to_short_string(AOwner->ClassName));
  }
}

TMsgReceiver::~TMsgReceiver() {
  if (WndProcHooked) Platform.RestoreWindowProcedure(OwnerHandle);
  if (DLLValid) Library->UnregisterReceiver(static_cast<std::uint32_t>(OwnerHandle));
  Library.reset();
  if (Owner->MsgReceiver == this) Owner->MsgReceiver = nullptr;
}

void TMsgReceiver::SetIDString(UStringView value) {
  const UStringView stored = value.substr(0, 255);
  if (stored == FIDString) return;
  FIDString = UString(stored);
  RecomputeMessageID();
}

void TMsgReceiver::RecomputeMessageID() {
  FMessageID = FIDString.empty() ? 0 : Platform.RegisterMessage(FIDString);
}

std::intptr_t TMsgReceiver::WndProc(const WindowMessage& message) {
  if (message.Msg == FMessageID) {
    if (!OnIDMessage) return 0;
    try {
      return OnIDMessage(static_cast<std::uint16_t>(message.WParam & 0xFFFF),
                         static_cast<std::int32_t>(message.LParam));
    } catch (const std::exception& error) {
      if (OnException) OnException(error);
      return 0;
    }
  }
  if (message.Msg == WM_DESTROY_MESSAGE) {
    WMDestroy();
    return 0;
  }
  return Platform.CallPreviousProcedure(OwnerHandle, message);
}

void TMsgReceiver::WMDestroy() {
  Platform.RestoreWindowProcedure(OwnerHandle);
  WndProcHooked = false;
}

}  // namespace wardenix
