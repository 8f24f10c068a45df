// Skin controls at work: buttons under the mouse, labels drawn from bitmap
// fonts and scrolled, progress bars, and scripts driving them.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/commands.h"
#include "core/text.h"
#include "skin_fixture.h"

namespace vesperon {
namespace {

using test::TLogCapture;
using test::TSkinTest;

// Whether a control's surface shows the image (inside the control's shape).
bool Shows(const TSkinControl& c, const TSurface& image) {
  const TSurface& s = *GetWindowSurface(c.Handle);
  TRegion shape;
  const bool shaped = GetWindowRegion(c.Handle, shape);
  for (int32_t y = 0; y < s.Height(); ++y)
    for (int32_t x = 0; x < s.Width(); ++x)
      if ((!shaped || shape.Contains(x, y)) && s.At(x, y) != image.At(x, y)) return false;
  return true;
}

TEST_F(TSkinTest, ButtonsShowHoverActiveAndNormalImages) {
  ASSERT_TRUE(LoadBuiltin());
  TWindow& main = *Skin->Windows[0];
  TButton& play = *main.Buttons[1];
  ASSERT_EQ(play.Name, "play");
  const TPointI centre = ScreenOf(play, play.Width / 2, play.Height / 2);
  EXPECT_EQ(WindowAtPoint(centre), play.Handle);
  EXPECT_TRUE(Shows(play, *play.NormalBitmap));

  InjectMouseMove(centre);
  DispatchPendingMessages();
  EXPECT_EQ(play.State, msOver);
  EXPECT_TRUE(Shows(play, *play.HoverBitmap));
  InjectMouseButton(1, true, centre);
  DispatchPendingMessages();
  EXPECT_EQ(play.State, msDown);
  EXPECT_TRUE(Shows(play, *play.ActiveBitmap));
  InjectMouseButton(1, false, centre);
  DispatchPendingMessages();
  EXPECT_EQ(play.State, msNormal);
  EXPECT_TRUE(Shows(play, *play.NormalBitmap));
  InjectMouseMove({centre.X + 1, centre.Y});
  DispatchPendingMessages();
  EXPECT_TRUE(Shows(play, *play.HoverBitmap));
  // Leaving the button for its window puts it back to normal.
  const TRect w = GetWindowRect(main.Handle);
  InjectMouseMove({w.Left + 100, w.Top + 30});
  DispatchPendingMessages();
  EXPECT_EQ(play.State, msNormal);
  EXPECT_TRUE(Shows(play, *play.NormalBitmap));
  // The normal image differs from the other two, so the checks above tell them apart.
  EXPECT_FALSE(Shows(play, *play.HoverBitmap));
}

TEST_F(TSkinTest, AClickRunsTheButtonsFunction) {
  ASSERT_TRUE(
      LoadDescription(WindowWith("<button><name>a</name><function>SHOW_WINDOW(Second)</"
                                 "function><normal>play_normal.bmp</normal></button>",
                                 "<window><name>second</name></window>")));
  const THandle second = Skin->Windows[1]->Handle;
  ASSERT_FALSE(IsWindowVisible(second));
  const TButton& a = *Skin->Windows[0]->Buttons[0];
  InjectMouseButton(1, true, ScreenOf(a, 2, 2));
  InjectMouseButton(1, false, ScreenOf(a, 2, 2));
  DispatchPendingMessages();
  EXPECT_TRUE(IsWindowVisible(second));
}

TEST_F(TSkinTest, AButtonThatSwitchesSkinsSurvivesItsOwnClick) {
  ASSERT_TRUE(
      LoadDescription(WindowWith("<button><name>a</name><function>load_skin(nosuch.vsf)</"
                                 "function><normal>play_normal.bmp</normal></button>")));
  const TButton& a = *Skin->Windows[0]->Buttons[0];
  const TPointI at = ScreenOf(a, 2, 2);
  InjectMouseButton(1, true, at);
  InjectMouseButton(1, false, at);
  DispatchPendingMessages();
  // A skin name that leads nowhere loads the built-in skin in place of this one.
  ASSERT_TRUE(Skin->Loaded());
  EXPECT_EQ(Skin->Windows[0]->Buttons.size(), 5u);
}

TEST_F(TSkinTest, LabelsAndBarsLetClicksThroughToTheirWindow) {
  ASSERT_TRUE(LoadBuiltin());
  TWindow& main = *Skin->Windows[0];
  const TLabel& time = *main.Labels[0];
  EXPECT_EQ(WindowAtPoint(ScreenOf(time, 3, 3)), main.Handle);
  EXPECT_EQ(WindowAtPoint(ScreenOf(*main.ProgressBars[0], 50, 7)), main.Handle);
  InjectMouseButton(1, true, ScreenOf(time, 3, 3));
  InjectMouseButton(1, false, ScreenOf(time, 3, 3));
  DispatchPendingMessages();
  EXPECT_EQ(time.State, msNormal);
}

// The label's pixels drawn from scratch: its window's background, then
// each glyph's non-transparent pixels.
TSurface ExpectedLabel(const TLabel& l, const TFont& font, const TSurface& background) {
  TSurface out(l.Width, l.Height);
  Blit(out, 0, 0, l.Width, l.Height, background, l.X, l.Y);
  int32_t pen = l.ScrollPosition;
  for (const char ch : l.Text) {
    if (pen > l.Width) break;
    const int cell = std::max(static_cast<unsigned char>(ch) - 31, 1);
    for (int32_t y = 0; y < l.Size && y < l.Height; ++y)
      for (int32_t x = 0; x < l.Size; ++x) {
        if (pen + x < 0 || pen + x >= l.Width) continue;
        const TColor c = font.NormalBitmap->At((cell % 16) * 16 + x, (cell / 16) * 16 + y);
        if (c != ToColor(font.Transparent)) out.Row(y)[pen + x] = c;
      }
    pen += font.NormalBitmap->At(cell % 16, cell / 16) >> 16 & 0xFF;
  }
  return out;
}

bool SameSurface(const TSurface& a, const TSurface& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  return std::equal(a.Data(), a.Data() + static_cast<std::ptrdiff_t>(a.Width()) * a.Height(),
                    b.Data());
}

TEST_F(TSkinTest, LabelsDrawTheirTextFromTheFontAndScroll) {
  ASSERT_TRUE(LoadBuiltin());
  TWindow& main = *Skin->Windows[0];
  TLabel& time = *main.Labels[0];
  TLabel& title = *main.Labels[1];
  const TFont& font = *Skin->Fonts[0];
  time.SetText(std::string("1:23 \x01\xE9"));  // a control character draws as a space
  EXPECT_TRUE(SameSurface(*GetWindowSurface(time.Handle),
                          ExpectedLabel(time, font, *main.BackgroundBitmap)));
  time.SetText("1:23  \xE9");
  EXPECT_TRUE(SameSurface(*GetWindowSurface(time.Handle),
                          ExpectedLabel(time, font, *main.BackgroundBitmap)));

  ASSERT_TRUE(title.Scrolling);
  const TSurface before = *GetWindowSurface(title.Handle);
  for (int i = 0; i < 5; ++i) Skin->Link().AdvanceScrolling();
  EXPECT_EQ(title.ScrollPosition, -5);
  EXPECT_FALSE(SameSurface(*GetWindowSurface(title.Handle), before));
  EXPECT_TRUE(SameSurface(*GetWindowSurface(title.Handle),
                          ExpectedLabel(title, font, *main.BackgroundBitmap)));
  EXPECT_EQ(time.ScrollPosition, 0);  // a label that does not scroll stays
  // A scrolling label keeps its text drawn once and copies it on every
  // step: every position, and a text set while it scrolls, look as the
  // glyphs drawn one by one.
  for (const char* text : {"", "Evening Song \xE9 - Artist", "ab"}) {
    title.SetText(text);
    for (int i = 0; i < 30; ++i) {
      Skin->AdvanceScrolling();
      ASSERT_TRUE(SameSurface(*GetWindowSurface(title.Handle),
                              ExpectedLabel(title, font, *main.BackgroundBitmap)))
          << "\"" << text << "\" at " << title.ScrollPosition;
    }
  }
  // Once the whole text has left on the left it comes back at the right edge.
  title.SetText("ab");
  title.ScrollPosition = -32;
  Skin->AdvanceScrolling();
  EXPECT_EQ(title.ScrollPosition, title.Width);
}

// The scrolling labels are found again after a skin is loaded in place of
// another: the new skin's labels move, and none of the old one's is touched.
TEST_F(TSkinTest, ASkinLoadedInPlaceOfAnotherScrollsItsOwnLabels) {
  ASSERT_TRUE(LoadBuiltin());
  Skin->AdvanceScrolling();
  EXPECT_EQ(Skin->LabelByName("ltitle")->ScrollPosition, -1);
  ASSERT_TRUE(LoadDescription(
      WindowWith("<label><name>a</name><text>moving</text><scrolling>true</scrolling></label>"
                 "<label><name>b</name><text>still</text></label>")));
  for (int i = 0; i < 2; ++i) Skin->AdvanceScrolling();
  EXPECT_EQ(Skin->LabelByName("a")->ScrollPosition, -2);
  EXPECT_EQ(Skin->LabelByName("b")->ScrollPosition, 0);
  ASSERT_TRUE(LoadBuiltin());
  Skin->AdvanceScrolling();
  EXPECT_EQ(Skin->LabelByName("ltitle")->ScrollPosition, -1);
}

// A description cannot make its scrolling labels hold text strips without
// bound: past the skin's budget a label draws its glyphs one by one, and
// looks the same either way.
TEST_F(TSkinTest, TextStripsStayWithinTheirBudget) {
  const std::string text(250, 'W');
  std::string labels;
  for (int i = 0; i < 200; ++i)
    labels += "<label><name>l" + std::to_string(i) + "</name><text>" + text +
              "</text><width>40</width><height>16</height><font id=\"0\" size=\"16\"/>"
              "<scrolling>true</scrolling></label>";
  ASSERT_TRUE(LoadDescription(WindowWith(labels,
                                         "<font><id>0</id><transparent>#ff00ff</transparent>"
                                         "<normal>font.bmp</normal></font>")));
  for (int i = 0; i < 3; ++i) Skin->AdvanceScrolling();
  EXPECT_LE(Skin->TextStripArea(), TSkin::kTextStripBudget);
  EXPECT_GT(Skin->TextStripArea(), TSkin::kTextStripBudget / 2);
  const TWindow& main = *Skin->Windows[0];
  const TFont& font = *Skin->Fonts[0];
  ASSERT_EQ(main.Labels.size(), 200u);
  for (const TLabel* l : {main.Labels.front().get(), main.Labels.back().get()}) {
    EXPECT_EQ(l->ScrollPosition, -3);
    EXPECT_TRUE(
        SameSurface(*GetWindowSurface(l->Handle), ExpectedLabel(*l, font, *main.BackgroundBitmap)))
        << l->Name;
  }
}

TEST_F(TSkinTest, ABadFontIdOrSizeDrawsNoTextAndIsReportedOnce) {
  TLogCapture log;
  ASSERT_TRUE(LoadDescription(
      WindowWith("<label><name>far</name><text>abc</text><font "
                 "id=\"3\"/><width>40</width><height>16</height></label>"
                 "<label><name>neg</name><text>abc</text><font "
                 "id=\"-1\"/><width>40</width><height>16</height></label>"
                 "<label><name>big</name><text>abc</text><font "
                 "size=\"300\"/><width>40</width><height>16</height></label>",
                 "<font><normal>font.bmp</normal><transparent>#ff00ff</transparent></font>")));
  const TWindow& main = *Skin->Windows[0];
  for (int i = 0; i < 3; ++i)
    for (const auto& l : main.Labels) l->Repaint();
  for (const auto& l : main.Labels) {
    TSurface background(l->Width, l->Height);
    Blit(background, 0, 0, l->Width, l->Height, *main.BackgroundBitmap, l->X, l->Y);
    EXPECT_TRUE(SameSurface(*GetWindowSurface(l->Handle), background)) << l->Name;
  }
  const auto reports =
      std::count_if(log.Lines.begin(), log.Lines.end(),
                    [](const std::string& line) { return line.rfind("ERROR: label ", 0) == 0; });
  EXPECT_EQ(reports, 3);
}

TEST_F(TSkinTest, AControlWithoutItsImageGetsItsStencilsSizeOrNone) {
  ASSERT_TRUE(LoadDescription(
      WindowWith("<button><name>s</name><stencil>play_stencil.bmp</stencil></button>"
                 "<button><name>n</name><normal>missing.bmp</normal></button>"
                 "<progressbar><name>p</name><stencil>time_stencil.bmp</stencil></progressbar>")));
  const TWindow& main = *Skin->Windows[0];
  EXPECT_EQ(main.Buttons[0]->Width, 20);
  EXPECT_EQ(main.Buttons[0]->Height, 20);
  EXPECT_EQ(main.Buttons[1]->Width, 0);
  EXPECT_EQ(main.Buttons[1]->Height, 0);
  EXPECT_EQ(main.ProgressBars[0]->Width, 100);
  for (const auto& b : main.Buttons) b->Repaint();
  main.ProgressBars[0]->Repaint();
}

TEST_F(TSkinTest, PositionsAndSizesFarOutsideTheWindowAreHarmless) {
  TLogCapture log;
  ASSERT_TRUE(LoadDescription(WindowWith(
      "<button><name>far</name><normal>play_normal.bmp</normal><position x=\"2147483647\" "
      "y=\"-2147483648\"/></button>"
      "<label><name>huge</name><text>abc</text><width>2147483647</width><height>2147483647</height>"
      "<position x=\"2147483647\"/><scrolling>true</scrolling></label>"
      "<label><name>negative</name><width>-5</width><height>3</height></label>")));
  const TWindow& main = *Skin->Windows[0];
  EXPECT_EQ(main.Buttons[0]->X, kMaxSkinCoordinate);
  EXPECT_EQ(main.Buttons[0]->Y, -kMaxSkinCoordinate);
  main.Buttons[0]->Repaint();
  EXPECT_EQ(main.Labels[0]->Handle, 0u);  // too large a control is refused
  EXPECT_EQ(main.Labels[1]->Handle, 0u);
  for (int i = 0; i < 3; ++i) Skin->AdvanceScrolling();
  EXPECT_EQ(std::count_if(log.Lines.begin(), log.Lines.end(),
                          [](const std::string& l) {
                            return l.rfind("ERROR: Could not create label ", 0) == 0;
                          }),
            2);
}

TEST_F(TSkinTest, AProgressBarFillsItsShareOfTheWidth) {
  ASSERT_TRUE(LoadBuiltin());
  TProgressBar& bar = *Skin->Windows[0]->ProgressBars[0];
  TScriptSkinHost& host = Skin->ScriptSkinHost();
  host.SetProgressBarMax("ptime", 100);
  host.SetProgressBarPosition("ptime", 40);
  EXPECT_EQ(host.ProgressBarPosition("ptime"), 40);
  const TSurface& s = *GetWindowSurface(bar.Handle);
  TRegion shape;
  ASSERT_TRUE(GetWindowRegion(bar.Handle, shape));
  int filled = 0, empty = 0;
  for (int32_t y = 0; y < bar.Height; ++y)
    for (int32_t x = 0; x < bar.Width; ++x) {
      if (!shape.Contains(x, y)) continue;
      const TColor want = x < 40 ? bar.FilledBitmap->At(x, y) : bar.EmptyBitmap->At(x, y);
      EXPECT_EQ(s.At(x, y), want) << x << "," << y;
      (x < 40 ? filled : empty)++;
    }
  EXPECT_GT(filled, 0);
  EXPECT_GT(empty, 0);
  // Above the maximum the position stops at it; a lower maximum pulls it down.
  host.SetProgressBarPosition("ptime", 500);
  EXPECT_EQ(bar.Position, 100);
  host.SetProgressBarMax("ptime", 10);
  EXPECT_EQ(bar.Position, 10);
  // With maximum 0 only the empty image shows.
  host.SetProgressBarMax("ptime", 0);
  bar.Repaint();
  EXPECT_TRUE(Shows(bar, *bar.EmptyBitmap));
}

// Scripts set the time label and the bar on every slow tick: only a change
// of what shows is drawn and sent to the display.
TEST_F(TSkinTest, UnchangedTextAndBarPixelsAreNotDrawnAgain) {
  ASSERT_TRUE(LoadBuiltin());
  TProgressBar& bar = *Skin->Windows[0]->ProgressBars[0];
  TLabel& time = *Skin->Windows[0]->Labels[0];
  TScriptSkinHost& host = Skin->ScriptSkinHost();
  host.SetLabelText("ltime", "-1:00");
  const uint32_t labelPresents = PresentCount(time.Handle);
  host.SetLabelText("ltime", "-1:00");
  EXPECT_EQ(PresentCount(time.Handle), labelPresents);
  host.SetLabelText("ltime", "-0:59");
  EXPECT_GT(PresentCount(time.Handle), labelPresents);

  host.SetProgressBarMax("ptime", bar.Width * 1000);  // 1000 positions a pixel
  host.SetProgressBarPosition("ptime", 40'000);
  const uint32_t barPresents = PresentCount(bar.Handle);
  host.SetProgressBarPosition("ptime", 40'200);  // the same 40 pixels
  EXPECT_EQ(PresentCount(bar.Handle), barPresents);
  host.SetProgressBarPosition("ptime", 41'000);
  EXPECT_EQ(PresentCount(bar.Handle), barPresents + 1);
  EXPECT_EQ(bar.FilledPixels(), 41);
  // A new song's maximum changes the share at the same position: drawn.
  host.SetProgressBarMax("ptime", bar.Width * 2000);
  host.SetProgressBarPosition("ptime", 41'000);
  EXPECT_EQ(PresentCount(bar.Handle), barPresents + 2);
  const TSurface& s = *GetWindowSurface(bar.Handle);
  TRegion shape;
  ASSERT_TRUE(GetWindowRegion(bar.Handle, shape));
  for (int32_t y = 0; y < bar.Height; ++y) {
    for (int32_t x = 0; x < bar.Width; ++x) {
      if (!shape.Contains(x, y)) continue;
      ASSERT_EQ(s.At(x, y), x < 21 ? bar.FilledBitmap->At(x, y) : bar.EmptyBitmap->At(x, y))
          << x << "," << y;
    }
  }
}

class TTestPlayer : public TScriptPlayerHost {
 public:
  uint32_t CurrentPosition() override { return 1000; }
  uint32_t CurrentLength() override { return 215000; }
  bool Paused() override { return false; }
  std::optional<TScriptSongTags> CurrentEntry() override {
    return TScriptSongTags{u"Some Artist", u"Night Drive", u"Album", u"Genre"};
  }
  void Play() override {}
  void Stop() override {}
  void Pause() override {}
  void Next() override {
    ++NextCalls;
    // As the player does: a new song runs the skin's OnSong command.
    RunOnSongCommand();
  }
  void Previous() override {}
  int NextCalls = 0;
};

TEST_F(TSkinTest, OnSongScriptSetsTheTitleAndTheTimeBarsMaximum) {
  TTestPlayer player;
  Skin->SetScriptPlayer(&player);
  ASSERT_TRUE(LoadBuiltin());
  RunCommand(u"script:onsong");
  EXPECT_EQ(Skin->LabelByName("ltitle")->Text, "Night Drive");
  EXPECT_EQ(Skin->ProgressBarByName("ptime")->Max, 215000);
  RunOnTimeCommand();
  EXPECT_EQ(Skin->LabelByName("ltime")->Text, "-03:34");
  EXPECT_EQ(Skin->ProgressBarByName("ptime")->Position, 1000);
  // Hidden and shown by name through the host.
  Skin->ScriptSkinHost().SetItemVisible("play", false);
  EXPECT_FALSE(IsWindowVisible(Skin->Item("play")->Handle));
  EXPECT_FALSE(Skin->Item("play")->Visible);
}

TEST_F(TSkinTest, AnOnSongScriptThatStartsTheNextSongDoesNotRecurse) {
  TTestPlayer player;
  Skin->SetScriptPlayer(&player);
  ASSERT_TRUE(LoadDescription(WindowWith("",
                                         "<script>module onsong; begin next end onsong;</script>"
                                         "<onsong>script:onsong</onsong>")));
  RunOnSongCommand();
  EXPECT_EQ(player.NextCalls, 1);
  // Done running, it runs again on the next song.
  RunOnSongCommand();
  EXPECT_EQ(player.NextCalls, 2);
}

// A script whose run loads another skin (the next song's OnSong command
// switches skins) ends safely: the engine it runs in outlives the switch.
TEST_F(TSkinTest, AScriptWhoseRunSwitchesTheSkinEndsSafely) {
  TTestPlayer player;
  Skin->SetScriptPlayer(&player);
  ASSERT_TRUE(LoadDescription(
      WindowWith("",
                 "<script>module ontime; var integer i; begin next; i := 7 end ontime;</script>"
                 "<ontime>script:ontime</ontime><onsong>load_skin(nosuch.vsf)</onsong>")));
  RunOnTimeCommand();
  EXPECT_EQ(player.NextCalls, 1);
  // The switch fell back to the built-in skin, whose modules run.
  ASSERT_NE(Skin->LabelByName("ltitle"), nullptr);
  RunOnTimeCommand();
  EXPECT_EQ(player.NextCalls, 1);
}

TEST_F(TSkinTest, AFailingOnTimeScriptIsReportedOnceUntilItRunsCleanly) {
  ASSERT_TRUE(LoadDescription(WindowWith("<label><name>flag</name></label>",
                                         "<script>module ontime; var integer i; begin i := 0; "
                                         "while i = 0 do i := 0 end end ontime;</script>"
                                         "<ontime>script:ontime</ontime>")));
  Skin->Scripts[0].SetInstructionLimit(1000);
  TLogCapture log;
  for (int i = 0; i < 20; ++i) RunOnTimeCommand();
  auto errors = [&log] {
    return std::count_if(log.Lines.begin(), log.Lines.end(), [](const std::string& l) {
      return l.rfind("ERROR: script error in module ONTIME", 0) == 0;
    });
  };
  EXPECT_EQ(errors(), 1);
  Skin->Scripts[0].SetInstructionLimit(0);
  Skin->Scripts[0].CompileModule("module ontime; begin end ontime;");
  RunOnTimeCommand();
  Skin->Scripts[0].CompileModule(
      "module ontime; var integer i; begin i := 0; while i = 0 do i := 0 end end ontime;");
  Skin->Scripts[0].SetInstructionLimit(1000);
  RunOnTimeCommand();
  RunOnTimeCommand();
  EXPECT_EQ(errors(), 2);
}

// The OnTime script is found when a skin loads: each skin runs its own,
// a name the skin lacks runs nothing, and an unloaded skin runs none.
TEST_F(TSkinTest, EachLoadedSkinRunsItsOwnOnTimeScript) {
  auto skinSetting = [](std::string_view text, std::string_view onTime,
                        std::string_view more = "") {
    return WindowWith("<label><name>flag</name></label>",
                      "<script>module OnTime; begin set_text('flag', '" + std::string(text) +
                          "') end OnTime;</script><ontime>" + std::string(onTime) + "</ontime>" +
                          std::string(more));
  };
  ASSERT_TRUE(LoadDescription(skinSetting("first", "SCRIPT:ONTIME")));
  RunOnTimeCommand();
  EXPECT_EQ(Skin->LabelByName("flag")->Text, "first");

  ASSERT_TRUE(LoadDescription(skinSetting("second", "script:ontime")));
  RunOnTimeCommand();
  EXPECT_EQ(Skin->LabelByName("flag")->Text, "second");

  ASSERT_TRUE(LoadDescription(skinSetting("third", "script:other")));
  TLogCapture log;
  RunOnTimeCommand();
  EXPECT_EQ(Skin->LabelByName("flag")->Text, "");
  EXPECT_TRUE(log.Lines.empty());

  // Another command than a script still runs as a command string.
  ASSERT_TRUE(LoadDescription(
      skinSetting("fourth", "show_window(second)",
                  "<window><name>second</name><background>main.bmp</background></window>")));
  ASSERT_NE(Skin->WindowByName("second"), nullptr);
  EXPECT_FALSE(IsWindowVisible(Skin->WindowByName("second")->Handle));
  RunOnTimeCommand();
  EXPECT_TRUE(IsWindowVisible(Skin->WindowByName("second")->Handle));

  ASSERT_TRUE(LoadDescription(skinSetting("fifth", "script:ontime")));
  Skin->Unload();
  RunOnTimeCommand();
  EXPECT_EQ(Skin->Scripts.Count(), 0u);
}

TEST_F(TSkinTest, ScriptErrorsNameTheirLine) {
  for (const char* eol : {"\r\n", "\n"}) {
    TLogCapture log;
    const std::string script =
        std::string("module m;") + eol + "begin" + eol + "  nosuch := 1" + eol + "end m;";
    ASSERT_TRUE(LoadDescription(WindowWith("", "<script>" + script + "</script>")));
    EXPECT_TRUE(std::any_of(log.Lines.begin(), log.Lines.end(), [](const std::string& l) {
      return l.find("Script: Line 3:") != std::string::npos;
    })) << log.All();
  }
}

}  // namespace
}  // namespace vesperon
