// Loading a skin: the built-in skin's windows, shapes and pixels, the order
// of the description's log lines, the failure table and the faults a bad
// description must not cause.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/text.h"
#include "skin/bmp.h"
#include "skin/skin_hooks.h"
#include "skin_fixture.h"

namespace vesperon {
namespace {

using test::TLogCapture;
using test::TSkinTest;

const TImage& BuiltinImage(std::string_view name) {
  const auto& images = test::BuiltinPackage().Images;
  const int32_t i = FindImage(images, name);
  EXPECT_GE(i, 0) << name;
  return images[static_cast<std::size_t>(std::max(i, 0))].Image;
}

TColor PixelOf(const TImage& image, int32_t x, int32_t y) {
  const uint8_t* p = image.Pixel(x, y);
  return MakeColor(p[2], p[1], p[0]);
}

// What the built-in skin's main window must show, made from its images
// without the skin code: the background, each button's normal image and the
// time bar's empty image inside their stencils, and the labels' text drawn
// glyph by glyph from the font sheet.
TSurface ExpectedMainWindow(const TSkin& skin) {
  const TImage& bg = BuiltinImage("main.bmp");
  TSurface out = TSurface::FromImage(bg);
  const TWindow& main = *skin.Windows[0];
  auto paste = [&out](const TImage& image, const TImage& stencil, int32_t x0, int32_t y0) {
    for (int32_t y = 0; y < image.Height; ++y)
      for (int32_t x = 0; x < image.Width; ++x) {
        const uint8_t* s = stencil.Pixel(x, y);
        if (s[0] == 255 && s[1] == 255 && s[2] == 255) continue;
        out.Row(y0 + y)[x0 + x] = PixelOf(image, x, y);
      }
  };
  for (const auto& b : main.Buttons)
    paste(BuiltinImage(Utf16ToUtf8(b->Normal)), BuiltinImage(Utf16ToUtf8(b->Stencil)), b->X, b->Y);
  for (const auto& p : main.ProgressBars)
    paste(BuiltinImage(Utf16ToUtf8(p->Empty)), BuiltinImage(Utf16ToUtf8(p->Stencil)), p->X, p->Y);
  const TImage& sheet = BuiltinImage("font.bmp");
  for (const auto& l : main.Labels) {
    int32_t pen = l->ScrollPosition;
    for (const char ch : l->Text) {
      if (pen > l->Width) break;
      const int cell = std::max(static_cast<unsigned char>(ch) - 31, 1);
      for (int32_t y = 0; y < l->Size && y < l->Height; ++y)
        for (int32_t x = 0; x < l->Size && pen + x < l->Width; ++x) {
          if (pen + x < 0) continue;
          const TColor c = PixelOf(sheet, (cell % 16) * 16 + x, (cell / 16) * 16 + y);
          if (c != MakeColor(255, 0, 255)) out.Row(l->Y + y)[l->X + pen + x] = c;
        }
      pen += sheet.Pixel(cell % 16, cell / 16)[2];  // the width table's red bytes
    }
  }
  return out;
}

int CountDifferences(const TSurface& a, const TSurface& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return -1;
  int n = 0;
  for (int32_t y = 0; y < a.Height(); ++y)
    for (int32_t x = 0; x < a.Width(); ++x) n += a.At(x, y) != b.At(x, y);
  return n;
}

TEST_F(TSkinTest, BuiltinSkinShowsItsMainWindowShapedAndDrawn) {
  ASSERT_TRUE(LoadBuiltin());
  ASSERT_EQ(Skin->Windows.size(), 1u);
  const TWindow& main = *Skin->Windows[0];
  EXPECT_EQ(main.Name, "main");
  EXPECT_TRUE(Skin->HasMainWindow);
  EXPECT_EQ(gMainWindow, main.Handle);
  EXPECT_TRUE(IsWindowVisible(main.Handle));
  EXPECT_EQ(GetWindowText(main.Handle), u"Vesperon");
  EXPECT_EQ(GetWindowRect(main.Handle).Width(), 200);
  TRegion shape;
  ASSERT_TRUE(GetWindowRegion(main.Handle, shape));
  EXPECT_EQ(shape, RegionFromMask(BuiltinImage("main_stencil.bmp"), 255, 255, 255));

  EXPECT_EQ(main.Buttons.size(), 5u);
  EXPECT_EQ(main.Labels.size(), 2u);
  EXPECT_EQ(main.ProgressBars.size(), 1u);
  for (const auto& b : main.Buttons) {
    EXPECT_TRUE(b->Visible);
    TRegion buttonShape;
    ASSERT_TRUE(GetWindowRegion(b->Handle, buttonShape)) << b->Name;
    EXPECT_EQ(buttonShape, RegionFromMask(BuiltinImage(Utf16ToUtf8(b->Stencil)), 255, 255, 255));
  }
  EXPECT_EQ(main.Buttons[4]->Width, 30);
  EXPECT_EQ(main.ProgressBars[0]->Width, 100);
  EXPECT_EQ(main.ProgressBars[0]->Height, 15);
  EXPECT_EQ(Skin->OnTime, u"script:ontime");
  EXPECT_EQ(Skin->OnSong, u"script:onsong");
  EXPECT_EQ(Skin->StandardWindow.BgColor, (TRGBAColor{0x14, 0x16, 0x2b, 0}));
  EXPECT_EQ(Skin->Scripts.Count(), 2u);
  ASSERT_EQ(Skin->Fonts.size(), 1u);
  EXPECT_NE(Skin->Fonts[0]->Widths[1], 0);  // the space has a width

  EXPECT_EQ(CountDifferences(test::Composed(main.Handle), ExpectedMainWindow(*Skin)), 0);
}

TEST_F(TSkinTest, LookUpsFindWindowsControlsAndImages) {
  ASSERT_TRUE(LoadBuiltin());
  TWindow& main = *Skin->Windows[0];
  EXPECT_EQ(Skin->WindowByHandle(main.Handle), &main);
  EXPECT_EQ(Skin->WindowByHandle(0), nullptr);
  EXPECT_EQ(Skin->ButtonByHandle(main.Buttons[2]->Handle), main.Buttons[2].get());
  EXPECT_EQ(Skin->LabelByHandle(main.Labels[1]->Handle), main.Labels[1].get());
  EXPECT_EQ(Skin->ControlByHandle(main.ProgressBars[0]->Handle), main.ProgressBars[0].get());
  EXPECT_EQ(Skin->ControlByHandle(main.Handle), nullptr);
  EXPECT_EQ(Skin->Item("play"), main.Buttons[1].get());
  EXPECT_EQ(Skin->Item("PLAY"), nullptr);  // stored names are lower case
  EXPECT_EQ(Skin->LabelByName("ltitle"), main.Labels[1].get());
  EXPECT_EQ(Skin->ProgressBarByName("ptime"), main.ProgressBars[0].get());
  EXPECT_EQ(main.LabelById(kLabelIdBase + 1), main.Labels[1].get());
  EXPECT_EQ(main.ProgressBarById(kProgressBarIdBase), main.ProgressBars[0].get());
  EXPECT_EQ(main.ButtonById(5), nullptr);
  // The font's three names resolve to three records of the same file.
  EXPECT_EQ(Skin->ImageIndex(u"font.bmp"), FindImage(Skin->Images, "font.bmp"));
  EXPECT_EQ(Skin->ImageIndex(u"FONT.BMP"), -1);
  EXPECT_EQ(Skin->ImageByName(u"nothing.bmp"), nullptr);
}

TEST_F(TSkinTest, DebugLinesComeInDocumentOrder) {
  const std::string description = WindowWith(
      "<button><name>b</name></button><label><name>l</name></label><progressbar><name>p</name></"
      "progressbar>",
      "<font><id>0</id></font><standardwindow/><script>module m; begin end m;</script><script/>");
  TLogCapture log;
  ASSERT_TRUE(LoadDescription(description));
  std::vector<std::string> order;
  for (const auto& line : log.Lines)
    if (line.rfind("process", 0) == 0 || line.rfind("created", 0) == 0 ||
        line == "creating font...")
      order.push_back(line);
  const std::vector<std::string> expected = {
      "processing skin...",        "processing window...",  "processing button...",
      "created button b",          "processing label...",   "created label l",
      "processing progressbar...", "created progressbar p", "created window main",
      "processing font...",        "processed font",        "processing standardwindow...",
      "processed standardwindow",  "processing script...",  "processed script",
      "processing script...",      "processed script",      "creating font..."};
  EXPECT_EQ(order, expected);
  EXPECT_EQ(Skin->Scripts.Count(), 1u);  // a script element without text makes no engine
}

TEST_F(TSkinTest, InvalidValuesAreLoggedAndLeftUnset) {
  struct TRow {
    std::string Element;
    std::string Message;
  };
  const std::vector<TRow> rows = {
      {"<font><transparent>red</transparent></font>", "transparent"},
      {"<font><id>x1</id></font>", "font-id"},
      {"<standardwindow><bgcolor>#12</bgcolor></standardwindow>", "bgcolor"},
      {"<standardwindow><scrollcolor>123456</scrollcolor></standardwindow>", "scrollcolor"},
      {"<standardwindow><buttoncolor>#zz0000</buttoncolor></standardwindow>", "buttoncolor"},
      {"<standardwindow><buttonfontcolor></buttonfontcolor></standardwindow>", "buttonfontcolor"},
  };
  for (const TRow& row : rows) {
    TLogCapture log;
    EXPECT_TRUE(LoadDescription(WindowWith("", row.Element))) << row.Element;
    const std::string line = "ERROR: invalid value for \"" + row.Message + "\" in skin";
    EXPECT_EQ(std::count(log.Lines.begin(), log.Lines.end(), line), 1) << row.Element;
  }
  // Inside a window: the bar's maximum and the label's font attributes.
  TLogCapture log;
  ASSERT_TRUE(
      LoadDescription(WindowWith("<progressbar><name>p</name><max>lots</max></progressbar>"
                                 "<label><name>l</name><font id=\"one\" "
                                 "size=\"big\"/><width>10</width><height>10</height></label>")));
  for (const char* what : {"max", "id", "size"})
    EXPECT_EQ(std::count(log.Lines.begin(), log.Lines.end(),
                         "ERROR: invalid value for \"" + std::string(what) + "\" in skin"),
              1)
        << what;
  EXPECT_EQ(Skin->ProgressBarByName("p")->Max, 0);
  EXPECT_EQ(Skin->LabelByName("l")->FontId, 0);
  EXPECT_EQ(Skin->LabelByName("l")->Size, 10);
  // A colour whose later digits fail keeps the components converted before.
  ASSERT_TRUE(LoadDescription(
      WindowWith("", "<standardwindow><bgcolor>#12zz34</bgcolor></standardwindow>")));
  EXPECT_EQ(Skin->StandardWindow.BgColor, (TRGBAColor{0x12, 0, 0, 0}));
}

TEST_F(TSkinTest, NamesCaseOrientationAndDefaults) {
  ASSERT_TRUE(LoadDescription(
      "<SKIN><Window><NAME>Main</NAME><Background>main.bmp</Background>"
      "<BUTTON><Name>Play</Name><Function>PLAY</Function><normal>play_normal.bmp</normal>"
      "<POSITION X=\"7\" y=\"9\"/></BUTTON>"
      "<progressbar><name>v</name><orientation>V</orientation></progressbar>"
      "<progressbar><name>h</name><orientation>up</orientation><position>0</position></progressbar>"
      "<label><name>l</name><font size=\"12\"/><scrolling>TRUE</scrolling></label>"
      "</Window><onsong>Script:OnSong</onsong></SKIN>"));
  TWindow& w = *Skin->Windows[0];
  EXPECT_EQ(w.Name, "main");
  ASSERT_EQ(w.Buttons.size(), 1u);
  EXPECT_EQ(w.Buttons[0]->Name, "play");
  EXPECT_EQ(w.Buttons[0]->Function, u"play");
  EXPECT_EQ(w.Buttons[0]->X, 7);
  EXPECT_EQ(w.Buttons[0]->Y, 9);
  EXPECT_EQ(Skin->OnSong, u"Script:OnSong");  // event strings are kept as written
  EXPECT_TRUE(Skin->ProgressBarByName("v")->Vertical);
  EXPECT_FALSE(Skin->ProgressBarByName("h")->Vertical);
  const TLabel& l = *Skin->LabelByName("l");
  EXPECT_EQ(l.FontId, 0);
  EXPECT_EQ(l.Size, 12);
  EXPECT_TRUE(l.Scrolling);
  EXPECT_EQ(l.ScrollStep, -1);
}

TEST_F(TSkinTest, WithoutAMainWindowTheFirstBecomesIt) {
  TLogCapture log;
  ASSERT_TRUE(
      LoadDescription("<skin><window><background>main.bmp</background></window>"
                      "<window><name>second</name></window></skin>"));
  EXPECT_NE(
      std::find(log.Lines.begin(), log.Lines.end(),
                "WARNING: the skin has no main window! Making the first window the main window!"),
      log.Lines.end());
  EXPECT_EQ(Skin->Windows[0]->Name, "main");
  EXPECT_EQ(gMainWindow, Skin->Windows[0]->Handle);
  EXPECT_TRUE(IsWindowVisible(Skin->Windows[0]->Handle));
  // The other window waits hidden until a command shows it.
  const THandle second = Skin->Windows[1]->Handle;
  EXPECT_FALSE(IsWindowVisible(second));
  EXPECT_EQ(GetWindowText(second), u"Vesperon1");
  Skin->Link().ShowSkinWindow(u"second");
  EXPECT_TRUE(IsWindowVisible(second));
}

TEST_F(TSkinTest, SkinsWithoutWindowsFail) {
  for (const char* description : {"<skin><font/></skin>", "<other><window/></other>", ""}) {
    TLogCapture log;
    EXPECT_FALSE(LoadDescription(description)) << description;
    EXPECT_NE(std::find(log.Lines.begin(), log.Lines.end(), "ERROR: the skin has no windows!"),
              log.Lines.end());
    EXPECT_FALSE(Skin->Loaded());
    EXPECT_TRUE(Skin->Images.empty());
  }
  TLogCapture log;
  EXPECT_FALSE(LoadDescription(""));
  EXPECT_NE(std::find(log.Lines.begin(), log.Lines.end(), "ERROR: the skin has no items!"),
            log.Lines.end());
}

// A window the layer creates next gets the next handle, so every handle
// between two probes belongs to a window made in between.
int WindowsLeftBetween(THandle before, THandle after) {
  int n = 0;
  for (THandle h = before + 1; h < after; ++h) n += IsWindow(h);
  return n;
}

THandle Probe() {
  TWindowParams p;
  p.Bounds = {0, 0, 1, 1};
  return CreateWindow(p);
}

TEST_F(TSkinTest, ANonNumericPositionOrSizeFailsTheLoadAndLeavesNothing) {
  for (const char* bad :
       {"<button><position x=\"1\" y=\"a\"/></button>", "<label><width>wide</width></label>",
        "<label><height>1e3</height></label>", "<progressbar><position x=\"\"/></progressbar>"}) {
    const THandle before = Probe();
    TLogCapture log;
    EXPECT_FALSE(LoadDescription(WindowWith(std::string("<button><name>ok</name></button>") + bad,
                                            "<script>module m; begin end m;</script>")))
        << bad;
    EXPECT_FALSE(Skin->Loaded());
    EXPECT_EQ(Skin->Scripts.Count(), 0u);
    EXPECT_EQ(gMainWindow, 0u);
    EXPECT_EQ(WindowsLeftBetween(before, Probe()), 0) << bad;
    EXPECT_TRUE(std::any_of(log.Lines.begin(), log.Lines.end(), [](const std::string& l) {
      return l.rfind("ERROR: could not load the skin: invalid value for", 0) == 0;
    }));
  }
}

TEST_F(TSkinTest, UnloadFreesEverythingAndANewSkinInheritsNothing) {
  ASSERT_TRUE(LoadBuiltin());
  const THandle before = Probe();
  (void)before;
  const THandle main = Skin->Windows[0]->Handle;
  const THandle play = Skin->Windows[0]->Buttons[1]->Handle;
  {
    TLogCapture log;
    Skin->Unload();
    EXPECT_EQ(log.Lines, (std::vector<std::string>{"unloading skin..."}));
  }
  EXPECT_FALSE(IsWindow(main));
  EXPECT_FALSE(IsWindow(play));
  EXPECT_EQ(gMainWindow, 0u);
  EXPECT_TRUE(Skin->Images.empty());
  EXPECT_TRUE(Skin->Fonts.empty());
  EXPECT_EQ(Skin->Scripts.Count(), 0u);
  ASSERT_TRUE(LoadBuiltin());
  // A skin without event strings or a standard window starts from empty ones.
  ASSERT_TRUE(LoadDescription(WindowWith("")));
  EXPECT_EQ(Skin->OnTime, u"");
  EXPECT_EQ(Skin->OnSong, u"");
  EXPECT_EQ(Skin->StandardWindow.BgColor, TRGBAColor{});
  EXPECT_EQ(Skin->StandardWindow.TopLeft, u"");
  EXPECT_EQ(Skin->Scripts.Count(), 0u);
}

TEST_F(TSkinTest, LoadByNameUsesTheFileAndFallsBackToTheBuiltinSkin) {
  test::TTempDir dir;
  std::vector<TImageRecord> records;
  for (const TSkinImage& image : test::BuiltinPackage().Images)
    records.push_back({image.Name, image.IsMask, EncodeBmp24(image.Image)});
  const std::string description = WindowWith("", "<ontime>from the file</ontime>");
  const auto path = dir.Path() / "mine.vsf";
  test::WriteFile(path, CompressPackedSkin(LayoutPackedSkin(description, records)));
  ASSERT_TRUE(Skin->Load(path.u16string()));
  EXPECT_EQ(Skin->OnTime, u"from the file");
  TLogCapture log;
  ASSERT_TRUE(Skin->Load((dir.Path() / "missing.vsf").u16string()));
  EXPECT_EQ(Skin->OnTime, u"script:ontime");
  EXPECT_NE(std::find(log.Lines.begin(), log.Lines.end(),
                      "WARNING: the skin could not be found. Changing to default..."),
            log.Lines.end());
  // A damaged file fails the load.
  test::WriteFile(path, "not a packed skin");
  EXPECT_FALSE(Skin->Load(path.u16string()));
  EXPECT_FALSE(Skin->Loaded());
}

TEST_F(TSkinTest, OtherWindowsAreMadeThroughTheHooksAndFreedByUnload) {
  std::vector<std::string> calls;
  gSkinWindowHooks.About.Create = [&](TSkin& skin) {
    calls.push_back("about " + std::to_string(skin.HasMainWindow));
    return true;
  };
  gSkinWindowHooks.About.Destroy = [&] { calls.push_back("about destroyed"); };
  gSkinWindowHooks.About.Show = [&] { calls.push_back("about shown"); };
  gSkinWindowHooks.MediaDB.Create = [&](TSkin&) { return false; };  // could not be made
  gSkinWindowHooks.MediaDB.Destroy = [&] { calls.push_back("media destroyed"); };
  gSkinWindowHooks.MediaDB.SelectRow = [&](int32_t row) {
    calls.push_back("row " + std::to_string(row));
  };
  TLogCapture log;
  ASSERT_TRUE(LoadBuiltin());
  EXPECT_NE(std::find(log.Lines.begin(), log.Lines.end(), "no video window to create"),
            log.Lines.end());
  Skin->Link().ShowAboutWindow();
  Skin->Link().SelectMediaRow(3);  // the media window does not exist: nothing
  Skin->Unload();
  gSkinWindowHooks = TSkinWindowHooks();
  EXPECT_EQ(calls, (std::vector<std::string>{"about 1", "about shown", "about destroyed"}));
}

}  // namespace
}  // namespace vesperon
