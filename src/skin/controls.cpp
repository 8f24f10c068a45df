// Buttons, labels and progress bars: child controls of a skin window, drawn
// from the skin's images and bitmap fonts, with the mouse states that switch
// their images.
#include <algorithm>
#include <cmath>
#include <exception>

#include "core/idle_path.h"
#include "core/log.h"
#include "core/text.h"
#include "skin/skin.h"
#include "skin/window_proc.h"

namespace vesperon {
namespace {

// The glyph sheet's cell of a character: 16 to a row from the space on;
// control characters draw as the space.
int32_t GlyphCell(char ch) {
  return std::max(static_cast<int32_t>(static_cast<uint8_t>(ch)) - 31, 1);
}

// The size a control takes from its main image; without one its stencil's
// size, else nothing, so a missing image never leaves the size undefined.
void SizeFrom(const TSkin& skin, int32_t imageIndex, int32_t stencilIndex, int32_t& width,
              int32_t& height) {
  const TImage* image = skin.ImageAt(imageIndex);
  if (image == nullptr) image = skin.ImageAt(stencilIndex);
  width = image ? image->Width : 0;
  height = image ? image->Height : 0;
}

// The subclass procedure of every skin control. The control is looked up by
// its handle on each message, so a message that arrives after the skin was
// unloaded finds nothing and is not handled.
TWindowHandler ControlProc(TSkin& skin) {
  TSkin* owner = &skin;
  return [owner](THandle h, uint32_t msg, std::uintptr_t wp, std::intptr_t lp) -> std::intptr_t {
    TSkinControl* control = owner->ControlByHandle(h);
    if (control == nullptr) return 0;
    const TWindowHandler previous = control->PreviousWindowProc;
    switch (msg) {
      case wmLButtonDown:
      case wmLButtonDblClk: control->SetState(msDown); break;
      case wmLButtonUp: control->SetState(msNormal); break;
      case wmMouseMove:
        if (control->State == msNormal) control->SetState(msOver);
        break;
      case wmKeyDown:
      case wmSysKeyDown:
        // A button holding the focus hands keys to its window, whose
        // procedure runs the key table.
        if (dynamic_cast<TButton*>(control) != nullptr)
          SkinWindowProc(control->Parent, msg, wp, lp);
        break;
      default: break;
    }
    // The control (and the skin's lists) may be gone after this call: a
    // click can switch skins.
    return previous ? previous(h, msg, wp, lp) : DefWindowHandler(h, msg, wp, lp);
  };
}

// Creates the child control of one kind at (X, Y) in its parent, first
// `width` x `height` large, and subclasses it. Zero (logged as "Could not
// create <kind> <name>! <reason>") when its window does not exist, the skin's
// surface budget is spent for its final size (Width x Height), or the layer
// refuses it.
THandle CreateControl(TSkinControl& c, std::string_view kind, TControlKind control, uint32_t id,
                      std::u16string_view text, int32_t width, int32_t height,
                      uint32_t extraFlags) {
  // Positions and sizes far outside any window are kept at the edge of the
  // range the display's coordinates have, so no sum of them overflows; a
  // size out of range still makes the layer refuse the control.
  c.X = std::clamp(c.X, -kMaxSkinCoordinate, kMaxSkinCoordinate);
  c.Y = std::clamp(c.Y, -kMaxSkinCoordinate, kMaxSkinCoordinate);
  c.Width = std::clamp(c.Width, -1, 2 * kMaxSkinCoordinate);
  c.Height = std::clamp(c.Height, -1, 2 * kMaxSkinCoordinate);
  width = std::clamp(width, -1, 2 * kMaxSkinCoordinate);
  height = std::clamp(height, -1, 2 * kMaxSkinCoordinate);
  std::string reason;
  if (c.Parent == 0) {
    reason = "its window was not created";
  } else if (!c.Owner->TakeSurfaceArea(c.Width, c.Height)) {
    reason = "the skin's windows and controls are too large";
  } else {
    TWindowParams p;
    p.ClassName = control == ckButton ? "BUTTON" : "STATIC";
    p.Title = std::u16string(text);
    p.Bounds = {c.X, c.Y, c.X + width, c.Y + height};
    p.Parent = c.Parent;
    p.Flags = wfVisible | wfOwnerDraw | extraFlags;
    p.Control = control;
    p.ControlId = id;
    p.Background = clNone;
    c.Handle = CreateWindow(p);
    if (c.Handle == 0) reason = LastWindowError();
  }
  if (c.Handle == 0) {
    LogError("Could not create " + std::string(kind) + " " + Utf16ToUtf8(Cp1252ToUtf16(c.Name)) +
             "! " + reason);
    return 0;
  }
  c.PreviousWindowProc = SetWindowHandler(c.Handle, ControlProc(*c.Owner));
  return c.Handle;
}

// Applies the stencil's shape and the final size.
void ShapeAndPlace(TSkinControl& c, const TImage* stencil) {
  c.Region = stencil ? RegionFromMask(*stencil, 255, 255, 255) : TRegion();
  if (stencil) SetWindowRegion(c.Handle, &c.Region, true);
  MoveWindow(c.Handle, {c.X, c.Y, c.X + c.Width, c.Y + c.Height}, true);
}

}  // namespace

// ---- common to all controls -------------------------------------------------

void TSkinControl::SetVisible(bool visible) {
  Visible = visible;
  if (Handle != 0) ShowWindow(Handle, visible ? swShow : swHide);
}

void TSkinControl::SetState(TMouseState state) {
  if (State == state) return;
  State = state;
  Repaint();
}

void TSkinControl::Destroy() {
  if (Handle != 0) DestroyWindow(Handle);
  Handle = 0;
  PreviousWindowProc = nullptr;
  Region = TRegion();
}

VESPERON_IDLE_PATH void TSkinControl::Repaint() {
  TSurface* surface = Handle != 0 ? GetWindowSurface(Handle) : nullptr;
  if (surface == nullptr) return;
  // A failing repaint is reported and the other controls still paint.
  try {
    Draw(*surface);
    PresentWindow(Handle);
  } catch (const std::exception& e) {
    LogError("unknown error during " + std::string(KindName()) +
             ".Repaint at address 0: " + e.what());
  }
}

// ---- buttons ---------------------------------------------------------------

bool TButton::Build() {
  TSkin& skin = *Owner;
  NormalIndex = skin.ImageIndex(Normal);
  ActiveIndex = skin.ImageIndex(Active);
  HoverIndex = skin.ImageIndex(Hover);
  StencilIndex = skin.ImageIndex(Stencil);
  SizeFrom(skin, NormalIndex, StencilIndex, Width, Height);
  if (CreateControl(*this, "button", ckButton, static_cast<uint32_t>(Index), Cp1252ToUtf16(Name),
                    20, 20, 0) == 0)
    return false;
  NormalBitmap = &skin.Bitmap(NormalIndex);
  ActiveBitmap = &skin.Bitmap(ActiveIndex);
  HoverBitmap = &skin.Bitmap(HoverIndex);
  ShapeAndPlace(*this, skin.ImageAt(StencilIndex));
  return true;
}

void TButton::Draw(TSurface& surface) {
  const TSurface* bitmap = State == msOver   ? HoverBitmap
                           : State == msDown ? ActiveBitmap
                                             : NormalBitmap;
  if (bitmap != nullptr) Blit(surface, 0, 0, Width, Height, *bitmap, 0, 0);
}

// ---- labels ----------------------------------------------------------------

bool TLabel::Build() {
  // Labels let clicks through to their window, so the whole skin drags and
  // opens its menu from any point but a button.
  return CreateControl(*this, "label", ckStatic, static_cast<uint32_t>(Index) + kLabelIdBase,
                       Cp1252ToUtf16(Text), Width, Height, wfClickThrough) != 0;
}

VESPERON_IDLE_PATH const TFont* TLabel::Font() {
  const auto& fonts = Owner->Fonts;
  const bool fontOk = FontId >= 0 && static_cast<std::size_t>(FontId) < fonts.size();
  const bool sizeOk = Size >= 1 && Size <= kGlyphCell;
  if (fontOk && sizeOk) return fonts[static_cast<std::size_t>(FontId)].get();
  if (!FontFaultReported) {
    FontFaultReported = true;
    LogError(
        "label " + Utf16ToUtf8(Cp1252ToUtf16(Name)) +
        (fontOk ? " has a font size outside 1.." + std::to_string(kGlyphCell) : " names no font") +
        "; its text is not drawn");
  }
  return nullptr;
}

VESPERON_IDLE_PATH void TLabel::Draw(TSurface& surface) {
  // The window's background behind the label first, so glyphs draw over it.
  const TWindow* window = Owner->WindowByHandle(Parent);
  if (window != nullptr && window->BackgroundBitmap != nullptr)
    Blit(surface, 0, 0, Width, Height, *window->BackgroundBitmap, X, Y);
  if (Text.empty()) return;
  const TFont* font = Font();
  if (font == nullptr) return;
  const TSurface* sheet = font->Sheet(State);
  if (sheet == nullptr) return;
  const TColor key = ToColor(font->Transparent);
  if (const TSurface* strip = Scrolling ? TextStrip(*font, *sheet, key) : nullptr) {
    TransparentBlit(surface, ScrollPosition, 0, strip->Width(), strip->Height(), *strip, 0, 0, key);
    return;
  }
  DrawGlyphs(surface, ScrollPosition, Width, *font, *sheet, key);
}

void TLabel::DrawGlyphs(TSurface& surface, int64_t x, int64_t right, const TFont& font,
                        const TSurface& sheet, TColor key) const {
  for (const char ch : Text) {
    if (x > right) break;
    const int32_t cell = GlyphCell(ch);
    TransparentBlit(surface, static_cast<int32_t>(x), 0, Size, Size, sheet,
                    (cell % 16) * kGlyphCell, (cell / 16) * kGlyphCell, key);
    x += font.Widths[static_cast<std::size_t>(cell)];
  }
}

VESPERON_IDLE_PATH const TSurface* TLabel::TextStrip(const TFont& font, const TSurface& sheet,
                                                     TColor key) {
  TTextStrip& strip = Strip_;
  // Also a strip that could not be made is remembered, so that it is not
  // tried again on every step.
  if (strip.Text == Text && strip.Font == &font && strip.Sheet == &sheet && strip.Size == Size)
    return strip.Pixels.Width() > 0 ? &strip.Pixels : nullptr;
  Owner->ReturnTextStripArea(static_cast<int64_t>(strip.Pixels.Width()) * strip.Pixels.Height());
  strip = {Text, &font, &sheet, Size, {}};
  // Glyph i covers [offset_i, offset_i + Size); widths are never negative.
  int64_t offset = 0, width = 0;
  for (const char ch : Text) {
    width = offset + Size;
    if (width > kMaxStripWidth) break;
    offset += font.Widths[static_cast<std::size_t>(GlyphCell(ch))];
  }
  if (width <= 0 || width > kMaxStripWidth || !Owner->TakeTextStripArea(width * Size))
    return nullptr;
  strip.Pixels = TSurface(static_cast<int32_t>(width), Size, key & 0xFFFFFF);
  DrawGlyphs(strip.Pixels, 0, width, font, sheet, key);
  return &strip.Pixels;
}

void TLabel::SetText(std::string_view text) {
  // Scripts set the same text on most slow ticks (a time shown in whole
  // seconds): unchanged pixels are not drawn and sent again.
  if (text == Text) return;
  Text = std::string(text);
  Repaint();
}

VESPERON_IDLE_PATH void TLabel::Advance() {
  ScrollPosition += ScrollStep;
  if (static_cast<int64_t>(Text.size()) * Size + ScrollPosition < 0) ScrollPosition = Width;
  Repaint();
}

// ---- progress bars ---------------------------------------------------------

bool TProgressBar::Build() {
  TSkin& skin = *Owner;
  EmptyIndex = skin.ImageIndex(Empty);
  FilledIndex = skin.ImageIndex(Filled);
  StencilIndex = skin.ImageIndex(Stencil);
  SizeFrom(skin, EmptyIndex, StencilIndex, Width, Height);
  if (CreateControl(*this, "progressbar", ckStatic,
                    static_cast<uint32_t>(Index) + kProgressBarIdBase, Cp1252ToUtf16(Name), 20, 20,
                    wfClickThrough) == 0)
    return false;
  EmptyBitmap = &skin.Bitmap(EmptyIndex);
  FilledBitmap = &skin.Bitmap(FilledIndex);
  ShapeAndPlace(*this, skin.ImageAt(StencilIndex));
  return true;
}

int32_t TProgressBar::FilledPixels() const {
  // The filled share, kept within 0..1: a position below 0 or above the
  // maximum shows an empty or a full bar rather than a negative part.
  const double filled = Max != 0 ? std::clamp(static_cast<double>(Position) / Max, 0.0, 1.0) : 0.0;
  return static_cast<int32_t>(std::lround((Vertical ? Height : Width) * filled));
}

void TProgressBar::SetPosition(int32_t position) {
  Position = position;
  // Set on every slow tick, the bar moves by a pixel only every so often;
  // compared with what was drawn last, a new maximum shows as well.
  if (FilledPixels() != DrawnSplit_) Repaint();
}

void TProgressBar::Draw(TSurface& surface) {
  const int32_t split = FilledPixels();
  DrawnSplit_ = split;
  if (Vertical) {
    if (FilledBitmap != nullptr) Blit(surface, 0, 0, Width, split, *FilledBitmap, 0, 0);
    if (EmptyBitmap != nullptr)
      Blit(surface, 0, split, Width, Height - split, *EmptyBitmap, 0, split);
  } else {
    if (FilledBitmap != nullptr) Blit(surface, 0, 0, split, Height, *FilledBitmap, 0, 0);
    if (EmptyBitmap != nullptr)
      Blit(surface, split, 0, Width - split, Height, *EmptyBitmap, split, 0);
  }
}

// ---- bitmap fonts ----------------------------------------------------------

bool TFont::Build() {
  Log("creating font...");
  if (Window == 0) {
    LogError("Could not create font " + std::to_string(Id) + "!");
    return false;
  }
  TSkin& skin = *Owner;
  NormalIndex = skin.ImageIndex(Normal);
  ActiveIndex = skin.ImageIndex(Active);
  HoverIndex = skin.ImageIndex(Hover);
  FourthIndex = skin.ImageIndex(Fourth);
  NormalBitmap = &skin.Bitmap(NormalIndex);
  ActiveBitmap = &skin.Bitmap(ActiveIndex);
  HoverBitmap = &skin.Bitmap(HoverIndex);
  Widths.fill(0);
  // Cell 0 of the normal sheet holds the advance widths in its red bytes.
  const int32_t w = std::min(NormalBitmap->Width(), kGlyphCell);
  const int32_t h = std::min(NormalBitmap->Height(), kGlyphCell);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      Widths[static_cast<std::size_t>(y) * kGlyphCell + static_cast<std::size_t>(x)] =
          static_cast<uint8_t>(NormalBitmap->At(x, y) >> 16);
  return true;
}

VESPERON_IDLE_PATH const TSurface* TFont::Sheet(TMouseState state) const {
  return state == msOver ? HoverBitmap : state == msDown ? ActiveBitmap : NormalBitmap;
}

}  // namespace vesperon
