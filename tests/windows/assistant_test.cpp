// The configuration assistant: its window and controls, and that only a
// click on "Next" closes it.
#include "windows/assistant.h"

#include "platform_fixture.h"

namespace vesperon {
namespace {

class AssistantTest : public THeadlessTest {
 protected:
  void Click(THandle control) {
    const TRect r = GetWindowRect(control);
    const TPointI centre{(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
    InjectMouseButton(1, true, centre);
    InjectMouseButton(1, false, centre);
    DispatchPendingMessages();
  }
  TAssistant Assistant;
};

TEST_F(AssistantTest, ShowsTheNameAndTheNextButtonTopMostInTheMiddle) {
  Assistant.Show();
  const THandle w = Assistant.Handle();
  ASSERT_NE(w, 0u);
  EXPECT_EQ(GetWindowText(w), u"Configuration-Assistent");
  EXPECT_EQ(GetWindowClassName(w), "Assistent");
  EXPECT_EQ(GetWindowRect(w), (TRect{272, 224, 752, 544}));
  EXPECT_TRUE(IsWindowVisible(w));
  EXPECT_EQ(GetFocus(), w);

  const THandle text = Assistant.TextHandle();
  const THandle next = Assistant.NextHandle();
  EXPECT_EQ(GetParent(text), w);
  EXPECT_EQ(GetWindowText(text), u"Vesperon NG");
  EXPECT_EQ(GetWindowRect(text), (TRect{392, 279, 632, 299}));
  EXPECT_EQ(GetParent(next), w);
  EXPECT_EQ(GetWindowText(next), u"Next");
  EXPECT_EQ(GetWindowRect(next), (TRect{592, 484, 652, 514}));
  EXPECT_EQ(GetControlId(text), 1u);
  EXPECT_EQ(GetControlId(next), 1u);

  // Both controls draw themselves: the text and the button face show.
  DispatchPendingMessages();
  const TSurface& s = *GetWindowSurface(text);
  int dark = 0;
  for (int32_t y = 0; y < s.Height(); ++y) {
    for (int32_t x = 0; x < s.Width(); ++x) dark += s.At(x, y) == 0;
  }
  EXPECT_GT(dark, 20);
}

TEST_F(AssistantTest, CloseSizeAndKeysLeaveItOpen) {
  Assistant.Show();
  const THandle w = Assistant.Handle();
  SendMessage(w, wmClose);
  SendMessage(w, wmSysCommand, scClose);
  SendMessage(w, wmSize, sizeRestored, MakeLParam(10, 10));
  InjectKey(true, vkEscape, 9, 0x1B);
  InjectKey(false, vkEscape, 9);
  InjectKey(true, vkF1 + 3, 70, 0, true);  // Alt+F4
  InjectKey(false, vkF1 + 3, 70, 0, true);
  InjectKey(true, vkReturn, 36, '\r');
  DispatchPendingMessages();
  EXPECT_TRUE(IsWindowVisible(w));
  EXPECT_EQ(GetWindowRect(w), (TRect{272, 224, 752, 544}));
}

TEST_F(AssistantTest, OnlyTheButtonsClickNotificationCloses) {
  Assistant.Show();
  const THandle w = Assistant.Handle();
  SendMessage(w, wmCommand, 1 | (1u << 16), Assistant.TextHandle());  // not a click
  SendMessage(w, wmCommand, 2, 0);                                    // another control
  Click(Assistant.TextHandle());
  EXPECT_TRUE(IsWindow(w));
  Click(Assistant.NextHandle());
  EXPECT_FALSE(IsWindow(w));
  EXPECT_EQ(Assistant.Handle(), 0u);
}

TEST_F(AssistantTest, CanBeShownAgainAfterNext) {
  Assistant.Show();
  Click(Assistant.NextHandle());
  Assistant.Show();
  ASSERT_NE(Assistant.Handle(), 0u);
  EXPECT_TRUE(IsWindowVisible(Assistant.Handle()));
  Click(Assistant.NextHandle());
  EXPECT_EQ(Assistant.Handle(), 0u);
}

}  // namespace
}  // namespace vesperon
