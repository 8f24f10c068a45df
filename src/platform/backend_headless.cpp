// The headless backend: windows exist only as records and surfaces. Tests
// inject input through headless.h and read back pixels, shapes and state.
#include "core/idle_path.h"
#include "platform/backend.h"
#include "platform/headless.h"

namespace vesperon {
namespace {

struct THeadlessConfig {
  bool TrayAvailable = false;  // no tray runs without a display; tests switch one on
  TPointI Screen{1024, 768};
};

THeadlessConfig& Config() {
  static THeadlessConfig config;
  return config;
}

class THeadlessBackend final : public TBackend {
 public:
  TPlatformKind Kind() const override { return pkHeadless; }
  bool CreateNative(TWindowRec&, bool) override { return true; }
  void DestroyNative(TWindowRec&) override {}
  void ShowNative(TWindowRec&, bool) override {}
  void MoveNative(TWindowRec&) override {}
  VESPERON_IDLE_PATH void Present(TWindowRec&, const TRect&) override {}
  TPointI ScreenSize() const override { return Config().Screen; }
  int32_t ScreenDepth() const override { return 32; }
  TPointI CursorPos() const override { return {}; }
  bool TrayExists() override { return Config().TrayAvailable; }
  // The icon is docked while it is wanted and a tray exists, so a test that
  // makes the tray available later sees it dock then.
  bool TrayDock(const TIconSet&, std::u16string_view) override {
    TrayWanted_ = true;
    return Config().TrayAvailable;
  }
  bool TrayDocked() const override { return TrayWanted_ && Config().TrayAvailable; }
  void TraySetTip(std::u16string_view) override {}
  void TrayBalloon(std::u16string_view, std::u16string_view) override {}
  void TrayUndock() override { TrayWanted_ = false; }

 private:
  bool TrayWanted_ = false;
};

}  // namespace

std::unique_ptr<TBackend> MakeHeadlessBackend() { return std::make_unique<THeadlessBackend>(); }

void SetTrayAvailableForTesting(bool available) { Config().TrayAvailable = available; }

void SetScreenSizeForTesting(int32_t width, int32_t height) { Config().Screen = {width, height}; }

}  // namespace vesperon
