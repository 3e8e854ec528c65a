// The receiver on real windows, with the test library in place of
// "DEZOZUDE.DLL" (called with the register convention) or with none.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "msgreceiver/msg_receiver.h"
#include "msgreceiver/receiver_platform_win.h"

namespace wardenix::testing {
namespace {

constexpr UINT kFormMessage = WM_APP + 1;

// The form's own procedure: counts what reaches it.
std::atomic<int> form_saw_registered{0};
std::atomic<int> form_saw_destroy{0};

LRESULT CALLBACK FormProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == kFormMessage) return static_cast<LRESULT>(wparam) + 1000;
  if (msg == WM_DESTROY) ++form_saw_destroy;
  if (msg >= 0xC000 && msg <= 0xFFFF) ++form_saw_registered;
  return DefWindowProcW(window, msg, wparam, lparam);
}

std::wstring test_library_directory() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path);
  dir.resize(dir.find_last_of(L"\\/") + 1);
  return dir + L"dezozude";
}

struct Win32Receiver : ::testing::Test {
  HWND window = nullptr;
  std::unique_ptr<ReceiverPlatform> platform;
  ReceiverOwner owner{u"TfrmPrincipal", [this] { return reinterpret_cast<NativeWindow>(window); }};
  std::vector<std::wstring> boxes;
  HMODULE library = nullptr;

  void SetUp() override {
    WNDCLASSW wc{};
    wc.lpfnWndProc = FormProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"WardenixReceiverTestForm";
    RegisterClassW(&wc);
    window = CreateWindowExW(0, wc.lpszClassName, L"form", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                             nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    form_saw_registered = 0;
    form_saw_destroy = 0;
    platform = make_win32_receiver_platform([this](UStringView caption, UStringView text) {
      boxes.push_back(std::wstring(caption.begin(), caption.end()) + L": " +
                      std::wstring(text.begin(), text.end()));
    });
  }
  void TearDown() override {
    if (IsWindow(window)) DestroyWindow(window);
    if (library) {
      FreeLibrary(library);
      SetDllDirectoryW(nullptr);
    }
  }

  // Puts the test library where LoadLibraryW("DEZOZUDE.DLL") finds it.
  void provide_library(bool valid) {
    SetDllDirectoryW(test_library_directory().c_str());
    library = LoadLibraryW((test_library_directory() + L"\\DEZOZUDE.DLL").c_str());
    ASSERT_NE(library, nullptr);
    reinterpret_cast<void (*)(int)>(reinterpret_cast<void (*)()>(
        GetProcAddress(library, "TestDezozudeReset")))(valid ? 1 : 0);
  }
  std::string library_calls() {
    char text[4096];
    reinterpret_cast<int (*)(char*, int)>(reinterpret_cast<void (*)()>(
        GetProcAddress(library, "TestDezozudeLog")))(text, sizeof text);
    return text;
  }
  std::string handle_text() { return std::to_string(reinterpret_cast<std::uintptr_t>(window)); }
  UINT wardenix_message() { return RegisterWindowMessageW(L"wardenix"); }
};

TEST_F(Win32Receiver, RegistersTheWindowThroughTheRegisterConvention) {
  provide_library(true);
  {
    TMsgReceiver receiver(&owner, *platform);
    receiver.SetIDString(u"wardenix");
    EXPECT_EQ(receiver.ReceiverNum(), 7);
    EXPECT_EQ(receiver.MessageID(), wardenix_message());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(library_calls(), "valid\nregister " + handle_text() + " TfrmPrincipal\n");
  }
  EXPECT_EQ(library_calls(), "valid\nregister " + handle_text() + " TfrmPrincipal\nunregister " +
                                 handle_text() + "\n");
#if !defined(__i386__)
  GTEST_SKIP() << "calls checked, their register convention not: it exists in 32-bit code only, "
                  "and this is a 64-bit build";
#endif
}

TEST_F(Win32Receiver, InvalidLibraryIsNeitherRegisteredWithNorUnregisteredFrom) {
  provide_library(false);
  {
    TMsgReceiver receiver(&owner, *platform);
    EXPECT_EQ(receiver.ReceiverNum(), -1);
  }
  EXPECT_EQ(library_calls(), "valid\n");
}

TEST_F(Win32Receiver, WithoutTheLibraryTheBoxShowsOnceAndMessagesStillWork) {
  {
    TMsgReceiver receiver(&owner, *platform);
    receiver.SetIDString(u"wardenix");
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"Error: Could not load DLL \"DEZOZUDE.DLL\""});
    EXPECT_EQ(receiver.ReceiverNum(), -1);
    EXPECT_EQ(SendMessageW(window, wardenix_message(), 1, 2), 0);
    EXPECT_EQ(form_saw_registered, 0);
  }
  EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(Win32Receiver, RoutesTheRegisteredMessageAndPassesEveryOtherOne) {
  TMsgReceiver receiver(&owner, *platform);
  receiver.SetIDString(u"wardenix");
  EXPECT_EQ(SendMessageW(window, wardenix_message(), 0x12345, -5), 0);
  EXPECT_EQ(form_saw_registered, 0);

  std::vector<std::pair<int, int>> seen;
  receiver.OnIDMessage = [&](std::uint16_t w, std::int32_t l) {
    seen.emplace_back(w, l);
    return -42;
  };
  EXPECT_EQ(SendMessageW(window, wardenix_message(), 0x12345, -5), -42);
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{0x2345, -5}}));
  EXPECT_EQ(form_saw_registered, 0);

  EXPECT_EQ(SendMessageW(window, kFormMessage, 5, 0), 1005);
  const UINT other = RegisterWindowMessageW(L"wardenix-other");
  SendMessageW(window, other, 0, 0);
  EXPECT_EQ(form_saw_registered, 1);
}

TEST_F(Win32Receiver, DestroyingTheWindowUnhooksIt) {
  const auto original = GetWindowLongPtrW(window, GWLP_WNDPROC);
  auto receiver = std::make_unique<TMsgReceiver>(&owner, *platform);
  EXPECT_NE(GetWindowLongPtrW(window, GWLP_WNDPROC), original);
  SendMessageW(window, WM_DESTROY, 0, 0);
  EXPECT_FALSE(receiver->Hooked());
  EXPECT_EQ(form_saw_destroy, 0);  // kept from the form
  EXPECT_EQ(GetWindowLongPtrW(window, GWLP_WNDPROC), original);
  EXPECT_EQ(SendMessageW(window, kFormMessage, 1, 0), 1001);
  DestroyWindow(window);
  EXPECT_EQ(form_saw_destroy, 1);
  receiver.reset();  // must not touch the destroyed window
}

TEST_F(Win32Receiver, SystemErrorBoxCarriesTheExactText) {
  platform = make_win32_receiver_platform();
  std::wstring seen_caption, seen_text;
  std::atomic<bool> done{false};
  std::thread closer([&] {
    for (int i = 0; i < 500 && !done; ++i) {
      if (HWND box = FindWindowW(L"#32770", L"Error")) {
        wchar_t text[256] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 256);
        seen_caption = L"Error";
        seen_text = text;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return;
      }
      Sleep(20);
    }
  });
  {
    TMsgReceiver receiver(&owner, *platform);
  }
  done = true;
  closer.join();
  EXPECT_EQ(seen_caption, L"Error");
  EXPECT_EQ(seen_text, L"Could not load DLL \"DEZOZUDE.DLL\"");
}

}  // namespace
}  // namespace wardenix::testing
