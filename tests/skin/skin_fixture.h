#pragma once
// A loaded skin in the headless windowing layer: packages made from a
// description and the built-in skin's images, the layer's pixels of a window
// with its controls composed, and a log capture with --debug on.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "core/params.h"
#include "core/skin_link.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "resources/skins/builtin_skin.h"
#include "skin/skin.h"
#include "skin_test_util.h"

namespace vesperon::test {

// The built-in skin as read from its packed bytes (read once).
inline const TPackedSkin& BuiltinPackage() {
  static const TPackedSkin* package = [] {
    auto* p = new TPackedSkin;
    if (!ReadPackedSkin(BuiltinSkinFile(), "(built-in)", *p))
      ADD_FAILURE() << "built-in skin unreadable";
    return p;
  }();
  return *package;
}

// A package of `description` with every image of the built-in skin.
inline void MakePackage(std::string_view description, TPackedSkin& out) {
  out.Description = std::string(description);
  out.Document.reset();
  out.Document.load_buffer(out.Description.data(), out.Description.size(),
                           kDescriptionParseOptions);
  out.Images = BuiltinPackage().Images;
}

// The built-in skin's description with `from` replaced by `to` (once).
inline std::string BuiltinDescriptionWith(std::string_view from, std::string_view to) {
  std::string d = BuiltinPackage().Description;
  const std::size_t at = d.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) d.replace(at, from.size(), to);
  return d;
}

// The pixels of a top-level window as the screen shows them: its surface
// with every visible child's surface inside the child's shape.
inline TSurface Composed(THandle window) {
  TSurface out = *GetWindowSurface(window);
  const TRect top = GetWindowRect(window);
  for (const auto& w : gSkin->Windows) {
    if (w->Handle != window) continue;
    auto compose = [&](const TSkinControl& c) {
      if (c.Handle == 0 || !IsWindowVisible(c.Handle)) return;
      const TRect at = GetWindowRect(c.Handle);
      TRegion shape;
      const bool shaped = GetWindowRegion(c.Handle, shape);
      const TSurface& s = *GetWindowSurface(c.Handle);
      for (int32_t y = 0; y < s.Height(); ++y)
        for (int32_t x = 0; x < s.Width(); ++x) {
          const int32_t ox = at.Left - top.Left + x, oy = at.Top - top.Top + y;
          if ((shaped && !shape.Contains(x, y)) || ox < 0 || oy < 0 || ox >= out.Width() ||
              oy >= out.Height())
            continue;
          out.Row(oy)[ox] = s.At(x, y);
        }
    };
    for (const auto& c : w->Buttons) compose(*c);
    for (const auto& c : w->Labels) compose(*c);
    for (const auto& c : w->ProgressBars) compose(*c);
  }
  return out;
}

class TSkinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClosePlatform();
    ASSERT_EQ(OpenPlatform(pkHeadless), pkHeadless);
    SetScreenSizeForTesting(1024, 768);
    UseManualClockForTesting(true);
    SavedParams = gParams;
    gParams.Debug = true;
    gParams.Silent = false;
    Skin = std::make_unique<TSkin>();
    gSkin = Skin.get();
    gSkinLink = &Skin->Link();
  }
  void TearDown() override {
    gSkinLink = nullptr;
    Skin.reset();
    gSkin = nullptr;
    gParams = SavedParams;
    ClosePlatform();
    UseManualClockForTesting(false);
  }

  bool LoadDescription(std::string_view description) {
    TPackedSkin package;
    MakePackage(description, package);
    const bool ok = Skin->LoadPackage(package);
    DispatchPendingMessages();
    return ok;
  }
  bool LoadBuiltin() {
    const bool ok = Skin->Load(u"");
    DispatchPendingMessages();
    return ok;
  }
  // A window description with one more element inside "main".
  static std::string WindowWith(std::string_view inner, std::string_view outside = "") {
    return "<skin><window><name>main</name><background>main.bmp</background>" + std::string(inner) +
           "</window>" + std::string(outside) + "</skin>";
  }
  // The screen point of a control's pixel.
  static TPointI ScreenOf(const TSkinControl& c, int32_t x, int32_t y) {
    const TRect r = GetWindowRect(c.Handle);
    return {r.Left + x, r.Top + y};
  }

  std::unique_ptr<TSkin> Skin;
  TParams SavedParams;
};

}  // namespace vesperon::test
