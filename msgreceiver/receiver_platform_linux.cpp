#include <xcb/xcb.h>

#include <cstdlib>
#include <map>

#include "msgreceiver/broadcast_library_linux.h"
#include "msgreceiver/receiver_platform_linux.h"

namespace wardenix {
namespace {

constexpr std::uint8_t kEventCodeMask = 0x7F;  // the top bit marks sent events

class X11Platform final : public X11ReceiverPlatform {
 public:
  X11Platform(xcb_connection_t* connection, std::string library_directory,
              std::function<void(UStringView, UStringView)> error_box)
      : connection_(connection),
        library_directory_(std::move(library_directory)),
        error_box_(std::move(error_box)) {}

  void ReplaceWindowProcedure(NativeWindow window, WindowProcedure procedure) override {
    hooks_[static_cast<xcb_window_t>(window)] = std::move(procedure);
  }

  void RestoreWindowProcedure(NativeWindow window) override {
    hooks_.erase(static_cast<xcb_window_t>(window));
  }

  // The previous procedure is the toolkit's own handling: the event is let through.
  std::intptr_t CallPreviousProcedure(NativeWindow, const WindowMessage&) override {
    let_through_ = true;
    return 0;
  }

  std::uint32_t RegisterMessage(UStringView name) override {
    const std::string utf8 = to_utf8(name);
    const auto cookie = xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(utf8.size()),
                                        utf8.data());
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection_, cookie, nullptr);
    if (!reply) return 0;
    const std::uint32_t atom = reply->atom;
    std::free(reply);
    return atom;
  }

  std::unique_ptr<BroadcastLibrary> LoadBroadcastLibrary() override {
    return load_broadcast_library(library_directory_);
  }

  void ShowErrorBox(UStringView caption, UStringView text) override {
    if (error_box_) error_box_(caption, text);
  }

  bool filter(const xcb_generic_event_t* event) override {
    const std::uint8_t code = event->response_type & kEventCodeMask;
    if (code == XCB_CLIENT_MESSAGE) {
      const auto* client = reinterpret_cast<const xcb_client_message_event_t*>(event);
      if (client->format != 32) return false;
      const auto it = hooks_.find(client->window);
      if (it == hooks_.end()) return false;
      const WindowProcedure procedure = it->second;
      const std::uint32_t* data = client->data.data32;
      let_through_ = false;
      const std::intptr_t result = procedure(WindowMessage{
          client->type, data[0], static_cast<std::intptr_t>(static_cast<std::int32_t>(data[1]))});
      if (let_through_) return false;
      if (data[2] != 0) answer(data[2], client->type, result, data[3], client->window);
      return true;
    }
    if (code == XCB_DESTROY_NOTIFY) {
      const auto* destroyed = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
      const auto it = hooks_.find(destroyed->window);
      if (it == hooks_.end()) return false;
      const WindowProcedure procedure = it->second;
      let_through_ = false;
      procedure(WindowMessage{WM_DESTROY_MESSAGE, 0, 0});
      return !let_through_;
    }
    return false;
  }

 private:
  void answer(std::uint32_t to, std::uint32_t type, std::intptr_t result, std::uint32_t tag,
              xcb_window_t from) {
    xcb_client_message_event_t reply{};
    reply.response_type = XCB_CLIENT_MESSAGE;
    reply.format = 32;
    reply.window = to;
    reply.type = type;
    reply.data.data32[0] = static_cast<std::uint32_t>(result);
    reply.data.data32[1] = tag;
    reply.data.data32[2] = from;
    xcb_send_event(connection_, 0, to, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&reply));
    xcb_flush(connection_);
  }

  xcb_connection_t* connection_;
  std::string library_directory_;
  std::function<void(UStringView, UStringView)> error_box_;
  std::map<xcb_window_t, WindowProcedure> hooks_;
  bool let_through_ = false;
};

}  // namespace

std::unique_ptr<X11ReceiverPlatform> make_x11_receiver_platform(
    xcb_connection_t* connection, std::string library_directory,
    std::function<void(UStringView caption, UStringView text)> error_box) {
  return std::make_unique<X11Platform>(connection, std::move(library_directory), std::move(error_box));
}

}  // namespace wardenix
