#pragma once
// The broadcast receiver on X11, the Linux desktop. The registered message is
// the atom named by IDString; a message is a 32-bit ClientMessage of that
// type sent to the window: data[0] wParam, data[1] lParam, data[2] a window
// that wants the result (0 for none), data[3] a tag. The result goes back to
// that window as a ClientMessage of the same type: data[0] result, data[1]
// the tag, data[2] the receiving window. DestroyNotify of the window is the
// destroy message. The toolkit hands every event to `filter` before handling
// it itself. Linux only: included by its front end and tests.
#include <functional>
#include <memory>
#include <string>

#include <xcb/xcb.h>

#include "msgreceiver/receiver_platform.h"

namespace wardenix {

class X11ReceiverPlatform : public ReceiverPlatform {
 public:
  // Events that a hooked procedure takes are kept from the toolkit: `filter`
  // returns true for them.
  virtual bool filter(const xcb_generic_event_t* event) = 0;
};

// `library_directory` is searched first for the library (the executable's
// directory); `error_box` shows the modal error box.
std::unique_ptr<X11ReceiverPlatform> make_x11_receiver_platform(
    xcb_connection_t* connection, std::string library_directory,
    std::function<void(UStringView caption, UStringView text)> error_box);

}  // namespace wardenix
