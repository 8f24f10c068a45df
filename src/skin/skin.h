#pragma once
// The loaded skin: one TSkin for the whole process (gSkin), holding the
// windows, controls, bitmap fonts, images, scripts and event command strings
// built from a packed skin.
//
// Load reads the packed skin, runs the description's element handlers (which
// create every window and its controls as they go), builds the fonts, shows
// the main window, then hands over to the main-window code (menus and tray,
// main_window.h) and to the factories of the about, media-db and video
// windows (skin_hooks.h). Unload frees all of it again; the TSkin object
// itself lives from start-up to shutdown.
//
// Windows and controls are real windows of the windowing layer. Each keeps
// its images as surfaces made once at creation, so a repaint is a few block
// copies. Names of windows and items are stored lower-cased as 8-bit
// Windows-1252 text (the text the script machine speaks); image names and
// command strings are UTF-16 as written in the description.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/skin_link.h"
#include "platform/platform.h"
#include "script/host.h"
#include "script/scriptengine.h"
#include "skin/menus_tray.h"
#include "skin/packed_skin.h"
#include "skin/skin_image.h"

namespace vesperon {

class TSkin;
class TFont;

// A colour of the description ("#RRGGBB"); A is always 0.
struct TRGBAColor {
  uint8_t R = 0;
  uint8_t G = 0;
  uint8_t B = 0;
  uint8_t A = 0;
  friend bool operator==(const TRGBAColor&, const TRGBAColor&) = default;
};
// As a surface pixel value.
inline TColor ToColor(TRGBAColor c) { return MakeColor(c.R, c.G, c.B); }

enum TMouseState { msNormal, msOver, msDown };

// The look of the framed windows (media-db and video window): image names
// of the frame pieces, corner masks and close button, and four colours.
struct TStandardWindow {
  std::u16string Left, Right, TopLeft, Top, TopRight, BottomLeft, Bottom, BottomRight;
  std::u16string TopLeftMask, TopRightMask, BottomLeftMask, BottomRightMask;
  TRGBAColor ButtonColor, ButtonFontColor, BgColor, ScrollColor;
  std::u16string CloseNormal, CloseActive, CloseHover, CloseStencil;
};

// Control identifiers: buttons use their Index, labels Index + 750,
// progress bars Index + 1500.
inline constexpr uint32_t kLabelIdBase = 750;
inline constexpr uint32_t kProgressBarIdBase = 1500;
// Window positions and control positions and sizes are kept within this
// range (the display's coordinates are 16-bit).
inline constexpr int32_t kMaxSkinCoordinate = 32767;
// The class name of every skin window, and the main window's title.
inline constexpr std::string_view kSkinWindowClass = "Vesperon";

// What buttons, labels and progress bars share. Handle is 0 until the
// control is created and after it is destroyed; a control without a handle
// is neither drawn nor clickable.
struct TSkinControl {
  explicit TSkinControl(TSkin& owner) : Owner(&owner) {}
  virtual ~TSkinControl() = default;
  TSkinControl(const TSkinControl&) = delete;
  TSkinControl& operator=(const TSkinControl&) = delete;

  TSkin* Owner;
  std::string Name;  // lower-cased, Windows-1252
  int32_t X = 0;     // inside the parent window
  int32_t Y = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  THandle Handle = 0;
  THandle Parent = 0;
  int32_t Index = 0;  // position in the window's list of its kind
  TMouseState State = msNormal;
  bool Visible = true;
  TWindowHandler PreviousWindowProc;  // the layer's handler before subclassing
  TRegion Region;                     // from the stencil; empty when none

  // Shows or hides the control (Visible follows).
  void SetVisible(bool visible);
  // Draws the control in its current state into a surface of its size.
  virtual void Draw(TSurface& surface) = 0;
  // Draws the control into its own surface and shows it.
  void Repaint();
  // "TButton", "TLabel" or "TProgressBar", for the log.
  virtual const char* KindName() const = 0;
  // Destroys the child control and its drawing resources; Handle := 0.
  void Destroy();
  // Sets State and repaints when it changed.
  void SetState(TMouseState state);
};

class TButton : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  std::u16string Function;  // lower-cased command string, run on a click
  std::u16string Normal, Active, Hover, Stencil;
  int32_t NormalIndex = -1, ActiveIndex = -1, HoverIndex = -1, StencilIndex = -1;
  // The skin's surfaces of the images (Bitmap); empty ones when missing.
  const TSurface* NormalBitmap = nullptr;
  const TSurface* ActiveBitmap = nullptr;
  const TSurface* HoverBitmap = nullptr;

  // Creates the child control inside Parent, subclasses it, makes its
  // bitmaps and shape, and sizes it to the normal image. False (logged)
  // when the control cannot be created.
  bool Build();
  void Draw(TSurface& surface) override;
  const char* KindName() const override { return "TButton"; }
};

class TLabel : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  std::string Text;    // Windows-1252
  int32_t FontId = 0;  // index into the skin's Fonts
  int32_t Size = 10;   // glyph size in pixels
  bool Scrolling = false;
  int32_t ScrollPosition = 0;
  int32_t ScrollStep = -1;

  bool FontFaultReported = false;  // a bad font id or size is logged once

  bool Build();
  void Draw(TSurface& surface) override;
  const char* KindName() const override { return "TLabel"; }
  // Text := text, then repaint.
  void SetText(std::string_view text);
  // One scroll increment; the text re-enters at the right edge once it has
  // left on the left.
  void Advance();
  // Fonts[FontId]; null (logged once) when FontId names no font or Size
  // lies outside 1..16, and the label then draws no text.
  const TFont* Font();

 private:
  // A scrolling label's text drawn once over the font's key colour: every
  // scroll step then copies one strip instead of drawing each glyph again.
  // Made again when the text, size, font or glyph sheet (mouse state)
  // changes; a text wider than kMaxStripWidth, or a strip past the skin's
  // kTextStripBudget, is drawn glyph by glyph.
  static constexpr int32_t kMaxStripWidth = 4096;
  struct TTextStrip {
    std::string Text;
    const TFont* Font = nullptr;
    const TSurface* Sheet = nullptr;
    int32_t Size = 0;
    TSurface Pixels;
  };
  const TSurface* TextStrip(const TFont& font, const TSurface& sheet, TColor key);
  // Draws the text's glyphs from `x` on, up to the first one starting past
  // `right`.
  void DrawGlyphs(TSurface& surface, int64_t x, int64_t right, const TFont& font,
                  const TSurface& sheet, TColor key) const;
  TTextStrip Strip_;
};

class TProgressBar : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  std::u16string Function;  // stored, never run
  std::u16string Empty, Filled, Stencil;
  int32_t EmptyIndex = -1, FilledIndex = -1, StencilIndex = -1;
  const TSurface* EmptyBitmap = nullptr;
  const TSurface* FilledBitmap = nullptr;
  int32_t Position = 0;
  int32_t Max = 0;
  bool Vertical = false;

  bool Build();
  // Stores the position; repaints only when the filled part changes.
  void SetPosition(int32_t position);
  // The length of the filled part in pixels (of the width, or of the height
  // of a vertical bar).
  int32_t FilledPixels() const;
  void Draw(TSurface& surface) override;
  const char* KindName() const override { return "TProgressBar"; }

 private:
  int32_t DrawnSplit_ = -1;  // FilledPixels at the last Draw; -1: never drawn
};

// The side of a glyph cell of a bitmap font sheet, in pixels.
inline constexpr int32_t kGlyphCell = 16;

// A bitmap font: a 256 x 256 sheet of 16 x 16 glyph cells per mouse state.
// Cell n holds character code n + 31; cell 0 holds the advance widths (the
// red byte of pixel (x, y) is Widths[y * 16 + x]).
class TFont {
 public:
  explicit TFont(TSkin& owner) : Owner(&owner) {}
  TSkin* Owner;
  THandle Window = 0;  // the skin's first window, set just before Build
  int32_t Id = 0;      // from the description; informational only
  TRGBAColor Transparent;
  std::u16string Normal, Active, Hover, Fourth;
  int32_t NormalIndex = -1, ActiveIndex = -1, HoverIndex = -1, FourthIndex = -1;
  const TSurface* NormalBitmap = nullptr;
  const TSurface* ActiveBitmap = nullptr;
  const TSurface* HoverBitmap = nullptr;
  std::array<uint8_t, 256> Widths{};

  // Resolves the images, makes the sheets and the width table.
  bool Build();
  // The sheet for a mouse state; null before Build.
  const TSurface* Sheet(TMouseState state) const;
};

class TWindow {
 public:
  explicit TWindow(TSkin& owner) : Owner(&owner) {}
  ~TWindow();
  TWindow(const TWindow&) = delete;
  TWindow& operator=(const TWindow&) = delete;

  TSkin* Owner;
  std::vector<std::unique_ptr<TProgressBar>> ProgressBars;
  std::vector<std::unique_ptr<TLabel>> Labels;
  std::vector<std::unique_ptr<TButton>> Buttons;
  std::string Name;  // lower-cased, Windows-1252; "main" is the main window
  THandle Handle = 0;
  const TSurface* BackgroundBitmap = nullptr;  // the skin's surface of the image
  TRegion Region;                              // from the stencil; empty when none
  std::u16string Background, Stencil;
  int32_t BackgroundIndex = -1, StencilIndex = -1;
  int32_t Index = 0;  // position in the skin's Windows

  // Creates the window (the main window as the application window, the
  // others owned by it), makes its background and shape and sizes it to the
  // stencil. False (logged) when the window cannot be created.
  bool Build();
  // Named "main", or the first window of a description without one.
  bool IsMainWindow() const;
  // Answers wmPaint: the background at (0, 0).
  void Paint();
  // Puts every control in state msOver back to msNormal (the pointer has
  // left it for the window itself).
  void ResetHover();
  // Destroys the buttons, labels and progress bars, then the window.
  void Destroy();

  // Controls of this window by control identifier; null when none.
  TButton* ButtonById(uint32_t id);
  TLabel* LabelById(uint32_t id);
  TProgressBar* ProgressBarById(uint32_t id);
};

class TSkin {
 public:
  TSkin();
  ~TSkin();
  TSkin(const TSkin&) = delete;
  TSkin& operator=(const TSkin&) = delete;

  bool HasMainWindow = false;
  std::u16string OnTime;  // command strings as written
  std::u16string OnSong;
  TStandardWindow StandardWindow;
  std::vector<std::unique_ptr<TWindow>> Windows;  // description order; [0] is the first
  std::vector<std::unique_ptr<TFont>> Fonts;
  std::vector<TSkinImage> Images;  // packed-file order
  TScriptModules Scripts;          // one engine per "script" element
  TMenusAndTray MenusAndTray;      // popup menu and tray icon (main_window.h)
  // Set by Load when the description names no window "main": its first
  // window is then built as the main window from the start.
  bool FirstWindowIsMain = false;

  // Reads the named packed skin (empty: the built-in one) and builds
  // everything it describes. True when at least one window was built; on
  // false nothing of the new skin is left behind.
  bool Load(std::u16string_view name);
  // The same from a package already read (the description parsed, the
  // images decoded): everything after reading the file.
  bool LoadPackage(TPackedSkin& package);
  // Frees everything Load built; the object stays.
  void Unload();
  // True between a successful Load and the next Unload.
  bool Loaded() const { return !Windows.empty(); }

  // Image look-up: the first image whose Name equals `name` (case-sensitive,
  // cut to 255 bytes), -1 when none.
  int32_t ImageIndex(std::u16string_view name) const;
  // The image of an index or of a name; null when there is none.
  const TImage* ImageAt(int32_t index) const;
  const TImage* ImageByName(std::u16string_view name) const;
  // The image of an index as a surface, made on first use and shared by
  // every window, control and font that shows it; an empty surface when
  // there is no such image.
  const TSurface& Bitmap(int32_t index);

  // Windows and controls together may hold at most this many pixels of
  // their own surfaces, so a description cannot make the program allocate
  // without bound. TakeSurfaceArea books an area; false (logged once per
  // load) when it would exceed the budget.
  static constexpr int64_t kSurfaceBudget = int64_t{64} * 1024 * 1024;
  bool TakeSurfaceArea(int64_t width, int64_t height);
  // The text strips of scrolling labels (TLabel) together hold at most this
  // many pixels; a label whose strip would not fit draws its glyphs one by
  // one, as it would without a strip.
  static constexpr int64_t kTextStripBudget = int64_t{4} * 1024 * 1024;
  bool TakeTextStripArea(int64_t area);
  void ReturnTextStripArea(int64_t area);
  int64_t TextStripArea() const { return TextStripArea_; }

  // Look-ups by handle (null when none): the window, or a control among the
  // lists of all windows.
  TWindow* WindowByHandle(THandle handle);
  TButton* ButtonByHandle(THandle handle);
  TLabel* LabelByHandle(THandle handle);
  TProgressBar* ProgressBarByHandle(THandle handle);
  TSkinControl* ControlByHandle(THandle handle);
  // The first window of exactly that (lower-case) name.
  TWindow* WindowByName(std::string_view name);

  // Item look-ups by exact name: window by window, buttons, then labels,
  // then progress bars; the first match. Item searches all three kinds.
  TSkinControl* Item(std::string_view name);
  TLabel* LabelByName(std::string_view name);
  TProgressBar* ProgressBarByName(std::string_view name);

  // The main loop's slow tick: one step of every scrolling label.
  void AdvanceScrolling();
  // Runs the first script module of that name (any case); false when the
  // skin has none of that name, its run failed, or it is running already
  // (an OnSong script that starts the next song does not run itself again).
  bool RunScript(std::string_view name);
  // Runs the OnTime command when it names a script (nothing when the skin
  // has no module of that name) and returns true; false when the command is
  // not a script, for the caller to run. The script is looked up once, when
  // the skin has loaded, rather than on every slow tick.
  bool RunOnTimeScript();

  // The player side of the scripts' host (null: scripts see no player).
  void SetScriptPlayer(TScriptPlayerHost* player);
  // The skin side of the scripts' host: labels, visibility, progress bars.
  TScriptSkinHost& ScriptSkinHost() { return *ScriptSkinHost_; }
  // What the core asks of the skin (published as gSkinLink by start-up).
  TSkinLink& Link() { return *Link_; }

 private:
  std::vector<std::unique_ptr<TSurface>> Bitmaps_;  // by image index
  std::unique_ptr<TScriptSkinHost> ScriptSkinHost_;
  std::unique_ptr<TSkinLink> Link_;
  TScriptPlayerHost* Player_ = nullptr;
  std::vector<const TScriptengine*> RunningScripts_;  // innermost last
  // Script runs in progress, and the engines of a skin unloaded while one
  // of them ran: destroyed when the outermost run has returned.
  int RunDepth_ = 0;
  std::vector<std::unique_ptr<TScriptengine>> RetiredEngines_;
  // The scrolling labels of all windows, and the OnTime command's script
  // (null when it names none the skin has), found when a skin has loaded.
  std::vector<TLabel*> ScrollingLabels_;
  bool OnTimeIsScript_ = false;
  TScriptengine* OnTimeEngine_ = nullptr;
  bool MenusBuilt_ = false;
  bool AboutCreated_ = false, MediaDBCreated_ = false, VideoCreated_ = false;

  friend class TSkinObjectLink;
  bool RunEngine(TScriptengine& engine);
  bool BuildAll(TPackedSkin& package);
  void CreateOtherWindows();
  void ResetValues();
  int64_t SurfaceArea_ = 0;
  int64_t TextStripArea_ = 0;
  bool BudgetReported_ = false;
};

// The process's skin object: set by start-up, null before and after.
extern TSkin* gSkin;
// The shown main window of the loaded skin; 0 while none.
extern THandle gMainWindow;

}  // namespace vesperon
