#include "platform_fixture.h"

namespace vesperon {
namespace {

class MenuTest : public THeadlessTest {
 protected:
  void SetUp() override {
    THeadlessTest::SetUp();
    owner = MakeWindow({0, 0, 300, 300});
    skins = CreatePopupMenu();
    AppendMenuItem(skins, 10100, u"default.vsf");
    AppendMenuSeparator(skins);
    AppendMenuItem(skins, 10004, u"Open");
    menu = CreatePopupMenu();
    AppendSubMenu(menu, skins, u"Skins");
    AppendMenuSeparator(menu);
    AppendMenuItem(menu, 10002, u"Minimize");
    AppendMenuItem(menu, 10003, u"Restore");
    AppendMenuSeparator(menu);
    AppendMenuItem(menu, 10001, u"Exit");
    DispatchPendingMessages();
    Log.clear();
  }

  TPointI Centre(TMenu m, int32_t index) {
    TRect r;
    EXPECT_TRUE(GetMenuItemRect(m, index, r));
    return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
  }

  void Click(TPointI p) {
    InjectMouseMove(p);
    InjectMouseButton(1, true, p);
    InjectMouseButton(1, false, p);
    DispatchPendingMessages();
  }

  THandle owner = 0;
  TMenu skins = 0, menu = 0;
};

TEST_F(MenuTest, ChoosingAnItemPostsItsCommandToTheOwner) {
  EXPECT_EQ(GetMenuItemCount(menu), 6);
  ASSERT_TRUE(TrackPopupMenu(menu, {50, 60}, owner));
  ASSERT_EQ(OpenMenus(), std::vector<TMenu>{menu});
  TRect first;
  ASSERT_TRUE(GetMenuItemRect(menu, 0, first));
  EXPECT_EQ(first.Left, 51);  // inside a one-pixel border at the point
  EXPECT_EQ(first.Top, 61);
  Click(Centre(menu, 5));
  EXPECT_TRUE(OpenMenus().empty());
  const auto commands = Received(wmCommand);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].Window, owner);
  EXPECT_EQ(commands[0].WParam, 10001u);
  // The clicks went to the menu, not to the window under it.
  EXPECT_TRUE(Received(wmLButtonDown).empty());
}

TEST_F(MenuTest, SubMenusOpenOnHoverAndTheirItemsCanBeChosen) {
  ASSERT_TRUE(TrackPopupMenu(menu, {50, 60}, owner));
  InjectMouseMove(Centre(menu, 0));
  DispatchPendingMessages();
  ASSERT_EQ(OpenMenus(), (std::vector<TMenu>{menu, skins}));
  TRect sub, parent;
  ASSERT_TRUE(GetMenuItemRect(skins, 0, sub));
  ASSERT_TRUE(GetMenuItemRect(menu, 0, parent));
  EXPECT_GE(sub.Left, parent.Right);  // to the right of its parent
  // Separators do nothing; the item does.
  Click(Centre(skins, 1));
  EXPECT_TRUE(Received(wmCommand).empty());
  Click(Centre(skins, 0));
  ASSERT_EQ(Received(wmCommand).size(), 1u);
  EXPECT_EQ(Received(wmCommand)[0].WParam, 10100u);
  EXPECT_TRUE(OpenMenus().empty());
}

TEST_F(MenuTest, EscapeAndClicksOutsideCancel) {
  ASSERT_TRUE(TrackPopupMenu(menu, {50, 60}, owner));
  InjectMouseMove(Centre(menu, 0));
  DispatchPendingMessages();
  InjectKey(true, vkEscape, 9);  // closes the sub-menu only
  DispatchPendingMessages();
  EXPECT_EQ(OpenMenus(), std::vector<TMenu>{menu});
  InjectKey(true, vkEscape, 9);
  DispatchPendingMessages();
  EXPECT_TRUE(OpenMenus().empty());
  ASSERT_TRUE(TrackPopupMenu(menu, {50, 60}, owner));
  Click({280, 280});
  EXPECT_TRUE(OpenMenus().empty());
  EXPECT_TRUE(Received(wmCommand).empty());
  EXPECT_TRUE(Received(wmKeyDown).empty());  // the keys went to the menu
}

TEST_F(MenuTest, KeyboardMovesOverSeparatorsAndChooses) {
  ASSERT_TRUE(TrackPopupMenu(menu, {50, 60}, owner));
  InjectKey(true, vkDown, 116);  // Skins
  InjectKey(true, vkDown, 116);  // Minimize (the separator is skipped)
  InjectKey(true, vkDown, 116);  // Restore
  InjectKey(true, vkReturn, 36);
  DispatchPendingMessages();
  ASSERT_EQ(Received(wmCommand).size(), 1u);
  EXPECT_EQ(Received(wmCommand)[0].WParam, 10003u);
}

TEST_F(MenuTest, ReleaseWhereTheMenuOpenedDoesNotChoose) {
  // Opened by a right-button release at the pointer: a late release at the
  // same place must not pick the first item.
  ASSERT_TRUE(TrackPopupMenu(menu, {50, 60}, owner));
  InjectMouseButton(3, false, {50, 60});
  DispatchPendingMessages();
  EXPECT_EQ(OpenMenus().size(), 1u);
  EXPECT_TRUE(Received(wmCommand).empty());
}

TEST_F(MenuTest, MenusStayOnTheScreenAndBadMenusDoNotOpen) {
  ASSERT_TRUE(TrackPopupMenu(menu, {1020, 760}, owner));
  TRect r;
  ASSERT_TRUE(GetMenuItemRect(menu, 5, r));
  EXPECT_LE(r.Right, 1024);
  EXPECT_LE(r.Bottom, 768);
  EXPECT_FALSE(TrackPopupMenu(0xBAD, {0, 0}, owner));
  EXPECT_FALSE(TrackPopupMenu(menu, {0, 0}, 0xBAD));
  DestroyMenu(menu);  // closes it, and destroys the sub-menu with it
  EXPECT_TRUE(OpenMenus().empty());
  EXPECT_EQ(GetMenuItemCount(skins), -1);
  // A menu cannot contain itself.
  const TMenu m = CreatePopupMenu();
  AppendSubMenu(m, m, u"loop");
  EXPECT_EQ(GetMenuItemCount(m), 0);
}

using TrayTest = THeadlessTest;

TEST_F(TrayTest, IconTipBalloonAndCallback) {
  const THandle main = MakeWindow({0, 0, 10, 10});
  const TIconSet icon = {{1, 1, {0xFFFF0000}}};
  EXPECT_TRUE(TrayAvailable());
  ASSERT_TRUE(AddTrayIcon(main, 1052002, wmUser + 10, icon, u"Vesperon"));
  TTrayState t = GetTrayState();
  EXPECT_TRUE(t.Present);
  EXPECT_EQ(t.Tip, u"Vesperon");
  EXPECT_TRUE(ModifyTrayTip(std::u16string(200, u'x')));
  EXPECT_EQ(GetTrayState().Tip.size(), kTrayTipMax);
  EXPECT_TRUE(ShowTrayBalloon(std::u16string(100, u't'), std::u16string(300, u'b')));
  t = GetTrayState();
  EXPECT_EQ(t.BalloonTitle.size(), kBalloonTitleMax);
  EXPECT_EQ(t.BalloonText.size(), kBalloonTextMax);
  EXPECT_EQ(t.BalloonCount, 1);
  // A cut never splits a surrogate pair.
  std::u16string smileys;
  for (int i = 0; i < 100; ++i) smileys += u"\U0001F600";
  ModifyTrayTip(smileys);
  EXPECT_EQ(GetTrayState().Tip.size(), 126u);
  InjectTrayMouse(wmLButtonDblClk);
  InjectTrayMouse(wmRButtonUp);
  DispatchPendingMessages();
  const auto calls = Received(wmUser + 10);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].WParam, 1052002u);
  EXPECT_EQ(calls[0].LParam, wmLButtonDblClk);
  EXPECT_EQ(calls[1].LParam, wmRButtonUp);
  RemoveTrayIcon();
  EXPECT_FALSE(GetTrayState().Present);
  EXPECT_FALSE(ModifyTrayTip(u"gone"));
  EXPECT_FALSE(ShowTrayBalloon(u"a", u"b"));
}

// An icon added while no tray runs is kept and docks once a tray starts;
// until then nobody could see a balloon, so none is reported as shown.
TEST_F(TrayTest, IconWaitsForATrayAndOwnerDestructionRemovesIt) {
  const THandle main = MakeWindow({0, 0, 10, 10});
  SetTrayAvailableForTesting(false);
  EXPECT_FALSE(TrayAvailable());
  ASSERT_TRUE(AddTrayIcon(main, 1, wmUser + 10, {}, u"Vesperon"));
  EXPECT_TRUE(GetTrayState().Present);
  EXPECT_FALSE(TrayIconDocked());
  EXPECT_FALSE(ShowTrayBalloon(u"Warning", u"unseen"));
  EXPECT_TRUE(ModifyTrayTip(u"Title - Artist"));
  SetTrayAvailableForTesting(true);
  EXPECT_TRUE(TrayIconDocked());
  EXPECT_EQ(GetTrayState().Tip, u"Title - Artist");
  EXPECT_TRUE(ShowTrayBalloon(u"Warning", u"seen"));
  InjectTrayMouse(wmLButtonDblClk);
  DispatchPendingMessages();
  EXPECT_EQ(Received(wmUser + 10).size(), 1u);
  DestroyWindow(main);
  EXPECT_FALSE(GetTrayState().Present);
  EXPECT_FALSE(TrayIconDocked());
  EXPECT_FALSE(AddTrayIcon(0xBAD, 1, wmUser + 10, {}, u"x"));
}

}  // namespace
}  // namespace vesperon
