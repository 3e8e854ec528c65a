// The receiver's routing and life cycle over a window system on paper.
#include "msgreceiver/msg_receiver.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace wardenix::testing {
namespace {

using Strings = std::vector<std::string>;
constexpr NativeWindow kWindow = 0x4711;

struct Receiver : ::testing::Test {
  FakePlatform platform;
  ReceiverOwner owner{u"TfrmPrincipal", [] { return kWindow; }};

  std::unique_ptr<TMsgReceiver> create() {
    auto receiver = std::make_unique<TMsgReceiver>(&owner, platform);
    receiver->SetIDString(u"wardenix");
    return receiver;
  }
};

TEST_F(Receiver, LifeCycleFollowsTheLibrary) {
  const struct {
    FakePlatform::Library library;
    std::int32_t receiver_num;
    Strings calls;
  } cases[] = {
      {FakePlatform::Library::Valid, 7,
       {"hook 18193", "load", "valid", "register 18193 TfrmPrincipal",
        "register message wardenix", "restore 18193", "unregister 18193", "unload"}},
      {FakePlatform::Library::Invalid, -1,
       {"hook 18193", "load", "valid", "register message wardenix", "restore 18193", "unload"}},
      {FakePlatform::Library::Missing, -1,
       {"hook 18193", "load", "box Error: Could not load DLL \"DEZOZUDE.DLL\"",
        "register message wardenix", "restore 18193"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.library));
    FakePlatform p;
    p.library = c.library;
    ReceiverOwner form{u"TfrmPrincipal", [] { return kWindow; }};
    {
      TMsgReceiver receiver(&form, p);
      receiver.SetIDString(u"wardenix");
      EXPECT_EQ(receiver.ReceiverNum(), c.receiver_num);
      EXPECT_TRUE(receiver.Hooked());
      // The registered message works whether or not the library loaded.
      EXPECT_EQ(receiver.MessageID(), 0xC123u);
      EXPECT_EQ(p.send(kWindow, {0xC123, 0, 0}), 0);
      EXPECT_TRUE(p.reached_window.empty());
    }
    EXPECT_EQ(p.calls, c.calls);
    EXPECT_EQ(form.MsgReceiver, nullptr);
  }
}

TEST_F(Receiver, RegisteredMessageWithoutHandlerIsAnsweredWithZeroAndKeptFromTheForm) {
  const auto receiver = create();
  EXPECT_EQ(platform.send(kWindow, {0xC123, 5, 6}), 0);
  EXPECT_TRUE(platform.reached_window.empty());
}

TEST_F(Receiver, HandlerGetsTheLowWordOfWParamAndGivesTheResult) {
  const auto receiver = create();
  std::vector<std::pair<std::uint16_t, std::int32_t>> seen;
  receiver->OnIDMessage = [&](std::uint16_t w, std::int32_t l) {
    seen.emplace_back(w, l);
    return -42;
  };
  EXPECT_EQ(platform.send(kWindow, {0xC123, 0x12345, -5}), -42);
  EXPECT_EQ(seen, (std::vector<std::pair<std::uint16_t, std::int32_t>>{{0x2345, -5}}));
  EXPECT_TRUE(platform.reached_window.empty());
}

TEST_F(Receiver, FailingHandlerGoesToTheExceptionHandlerAndAnswersZero) {
  const auto receiver = create();
  std::vector<std::string> errors;
  receiver->OnIDMessage = [](std::uint16_t, std::int32_t) -> std::int32_t {
    throw EConvertError(u"bad");
  };
  receiver->OnException = [&](const std::exception& e) { errors.push_back(e.what()); };
  EXPECT_EQ(platform.send(kWindow, {0xC123, 1, 1}), 0);
  EXPECT_EQ(errors, Strings{"bad"});
}

TEST_F(Receiver, OtherMessagesReachTheFormUnchanged) {
  const auto receiver = create();
  receiver->OnIDMessage = [](std::uint16_t, std::int32_t) { return 1; };
  EXPECT_EQ(platform.send(kWindow, {0x0010, 3, 0}), 16003);  // WM_CLOSE
  EXPECT_EQ(platform.send(kWindow, {0xC124, 70000, 0}), 0xC124 * 1000 + 70000);
  EXPECT_EQ(platform.reached_window, (std::vector<std::uint32_t>{0x0010, 0xC124}));
}

TEST_F(Receiver, DestroyMessageUnhooksAndTheDestructorLeavesTheWindowAlone) {
  auto receiver = create();
  EXPECT_EQ(platform.send(kWindow, {WM_DESTROY_MESSAGE, 0, 0}), 0);
  EXPECT_FALSE(receiver->Hooked());
  EXPECT_TRUE(platform.reached_window.empty());  // not passed on
  // The window runs its previous procedure again.
  EXPECT_EQ(platform.send(kWindow, {0xC123, 1, 0}), 0xC123 * 1000 + 1);
  platform.calls.clear();
  receiver.reset();
  EXPECT_EQ(platform.calls, (Strings{"unregister 18193", "unload"}));
}

TEST_F(Receiver, IDStringRegistersOnlyOnChangeAndEmptyMeansNoMessage) {
  const auto receiver = create();
  platform.calls.clear();
  receiver->SetIDString(u"wardenix");
  EXPECT_TRUE(platform.calls.empty());
  receiver->SetIDString(u"");
  EXPECT_EQ(receiver->MessageID(), 0u);
  EXPECT_TRUE(platform.calls.empty());
  receiver->SetIDString(UString(300, u'x'));
  EXPECT_EQ(receiver->IDString().size(), 255u);
  EXPECT_EQ(platform.calls, Strings{"register message " + std::string(255, 'x')});
}

TEST_F(Receiver, OwnerMustBeAWindowedFormWithNoOtherReceiver) {
  ReceiverOwner not_windowed{u"TDataModule", {}};
  try {
    TMsgReceiver receiver(&not_windowed, platform);
    FAIL() << "created";
  } catch (const EOwnerNotWinControl& e) {
    EXPECT_EQ(e.Message(), u"Owner must be TWinControl or descendant");
  }
  EXPECT_THROW(TMsgReceiver(nullptr, platform), EOwnerNotWinControl);

  const auto first = create();
  platform.calls.clear();
  try {
    TMsgReceiver second(&owner, platform);
    FAIL() << "created";
  } catch (const EMultipleMsgReceivers& e) {
    EXPECT_EQ(e.Message(), u"Only one TMsgReceiver allowed per form");
  }
  EXPECT_TRUE(platform.calls.empty());  // nothing hooked, loaded or registered
  EXPECT_EQ(owner.MsgReceiver, first.get());
}

TEST(ShortStringTest, CarriesItsLengthAndIsCutAt255) {
  EXPECT_EQ(to_short_string(u"TfrmPrincipal"),
            ShortString(reinterpret_cast<const unsigned char*>("\x0dTfrmPrincipal")));
  const ShortString long_name = to_short_string(UString(300, u'A'));
  EXPECT_EQ(long_name.size(), 256u);
  EXPECT_EQ(long_name[0], 255);
  EXPECT_EQ(to_short_string(u"Ação")[2], 0xE7);
}

}  // namespace
}  // namespace wardenix::testing
