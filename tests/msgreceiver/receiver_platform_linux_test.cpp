// The receiver on a real X server: client messages of the registered atom,
// answers to the sender, DestroyNotify, and the test library loaded with dlopen.
#include <dlfcn.h>
#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "msgreceiver/msg_receiver.h"
#include "msgreceiver/receiver_platform_linux.h"

#ifndef TEST_LIBRARY_DIR
#error TEST_LIBRARY_DIR names the directory of the test library
#endif

namespace wardenix::testing {
namespace {

xcb_window_t make_window(xcb_connection_t* c) {
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  const xcb_window_t w = xcb_generate_id(c);
  const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
  xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 0, 0, 10, 10, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(c);
  return w;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
  auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t a = reply->atom;
  std::free(reply);
  return a;
}

// The next event of `type` (sent or not); others are dropped.
xcb_generic_event_t* next_event(xcb_connection_t* c, std::uint8_t type) {
  for (;;) {
    xcb_generic_event_t* e = xcb_wait_for_event(c);
    if (!e) return nullptr;
    if ((e->response_type & 0x7F) == type) return e;
    std::free(e);
  }
}

struct X11Receiver : ::testing::Test {
  xcb_connection_t* form_side = nullptr;    // the toolkit's connection
  xcb_connection_t* sender_side = nullptr;  // a program that broadcasts
  xcb_window_t form = 0, sender = 0;
  std::vector<std::string> boxes;
  std::unique_ptr<X11ReceiverPlatform> platform;
  ReceiverOwner owner{u"TfrmPrincipal", [this] { return NativeWindow{form}; }};
  void* library = nullptr;

  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X display";
    form_side = xcb_connect(nullptr, nullptr);
    sender_side = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(form_side));
    form = make_window(form_side);
    sender = make_window(sender_side);
    use_library_from(TEST_LIBRARY_DIR);
  }
  void TearDown() override {
    platform.reset();
    if (library) dlclose(library);
    if (form_side) xcb_disconnect(form_side);
    if (sender_side) xcb_disconnect(sender_side);
  }
  void use_library_from(const std::string& dir) {
    platform = make_x11_receiver_platform(form_side, dir, [this](UStringView caption, UStringView text) {
      boxes.push_back(to_utf8(caption) + ": " + to_utf8(text));
    });
  }
  void hold_library(bool valid) {
    library = dlopen(TEST_LIBRARY_DIR "/libdezozude.so", RTLD_NOW);
    ASSERT_NE(library, nullptr);
    reinterpret_cast<void (*)(int)>(dlsym(library, "TestDezozudeReset"))(valid ? 1 : 0);
  }
  std::string library_calls() {
    char text[4096];
    reinterpret_cast<int (*)(char*, int)>(dlsym(library, "TestDezozudeLog"))(text, sizeof text);
    return text;
  }

  void send(xcb_atom_t type, std::uint32_t w, std::int32_t l, std::uint32_t reply_to, std::uint32_t tag) {
    xcb_client_message_event_t m{};
    m.response_type = XCB_CLIENT_MESSAGE;
    m.format = 32;
    m.window = form;
    m.type = type;
    m.data.data32[0] = w;
    m.data.data32[1] = static_cast<std::uint32_t>(l);
    m.data.data32[2] = reply_to;
    m.data.data32[3] = tag;
    xcb_send_event(sender_side, 0, form, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&m));
    xcb_flush(sender_side);
  }
  // Hands the form's next client message to the platform, as the toolkit's
  // event filter does; true when the receiver kept it from the toolkit.
  bool deliver_client_message() {
    xcb_generic_event_t* e = next_event(form_side, XCB_CLIENT_MESSAGE);
    const bool taken = platform->filter(e);
    std::free(e);
    return taken;
  }
  xcb_client_message_event_t answer() {
    xcb_generic_event_t* e = next_event(sender_side, XCB_CLIENT_MESSAGE);
    xcb_client_message_event_t a;
    std::memcpy(&a, e, sizeof a);
    std::free(e);
    return a;
  }
};

TEST_F(X11Receiver, RegisteredMessageIsAnsweredAndKeptFromTheToolkit) {
  TMsgReceiver receiver(&owner, *platform);
  receiver.SetIDString(u"wardenix");
  const xcb_atom_t wardenix = atom(sender_side, "wardenix");
  EXPECT_EQ(receiver.MessageID(), wardenix);

  send(wardenix, 1, 2, sender, 11);
  EXPECT_TRUE(deliver_client_message());
  auto a = answer();
  EXPECT_EQ(a.type, wardenix);
  EXPECT_EQ(a.data.data32[0], 0u);
  EXPECT_EQ(a.data.data32[1], 11u);
  EXPECT_EQ(a.data.data32[2], form);

  std::vector<std::pair<int, int>> seen;
  receiver.OnIDMessage = [&](std::uint16_t w, std::int32_t l) {
    seen.emplace_back(w, l);
    return -42;
  };
  send(wardenix, 0x12345, -5, sender, 12);
  EXPECT_TRUE(deliver_client_message());
  a = answer();
  EXPECT_EQ(static_cast<std::int32_t>(a.data.data32[0]), -42);
  EXPECT_EQ(a.data.data32[1], 12u);
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{0x2345, -5}}));

  // Other client messages go on to the toolkit unchanged.
  send(atom(sender_side, "WM_PROTOCOLS"), 1, 2, 0, 0);
  EXPECT_FALSE(deliver_client_message());
}

TEST_F(X11Receiver, DestroyNotifyUnhooks) {
  TMsgReceiver receiver(&owner, *platform);
  receiver.SetIDString(u"wardenix");
  xcb_destroy_window(form_side, form);
  xcb_flush(form_side);
  xcb_generic_event_t* e = next_event(form_side, XCB_DESTROY_NOTIFY);
  EXPECT_TRUE(platform->filter(e));
  std::free(e);
  EXPECT_FALSE(receiver.Hooked());
}

TEST_F(X11Receiver, RegistersTheWindowWithTheLibrary) {
  hold_library(true);
  const std::string handle = std::to_string(form);
  {
    TMsgReceiver receiver(&owner, *platform);
    EXPECT_EQ(receiver.ReceiverNum(), 7);
    EXPECT_TRUE(boxes.empty());
  }
  EXPECT_EQ(library_calls(), "valid\nregister " + handle + " TfrmPrincipal\nunregister " + handle + "\n");
}

TEST_F(X11Receiver, WithoutTheLibraryTheBoxShowsOnce) {
  use_library_from("/nonexistent");
  TMsgReceiver receiver(&owner, *platform);
  EXPECT_EQ(boxes, std::vector<std::string>{"Error: Could not load DLL \"DEZOZUDE.DLL\""});
  EXPECT_EQ(receiver.ReceiverNum(), -1);
}

}  // namespace
}  // namespace wardenix::testing
