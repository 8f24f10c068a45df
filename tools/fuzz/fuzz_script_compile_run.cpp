// Skin scripts come from skin files of any origin: compiling and running
// arbitrary text must neither crash nor hang. The host answers like a
// loaded player and skin; the instruction limit keeps every run short.
// The limit is far below the player's own: under compare tracing every
// string comparison and copy is instrumented cell by cell, and a loop that
// grows and compares a string (see the "string_loop" seed) ran past the
// fuzzer's time-out at 200,000 instructions. Long strings also count
// against the limit by their length ("long_string_compare").
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "script/interpreter.h"
#include "script/scriptengine.h"

namespace {

constexpr uint64_t kFuzzInstructionLimit = 20'000;

class TFuzzHost : public vesperon::TScriptPlayerHost, public vesperon::TScriptSkinHost {
 public:
  uint32_t CurrentPosition() override { return 65000; }
  uint32_t CurrentLength() override { return 180000; }
  bool Paused() override { return false; }
  std::optional<vesperon::TScriptSongTags> CurrentEntry() override {
    return vesperon::TScriptSongTags{u"Artist", u"Title \u20ac", u"", u"Genre"};
  }
  void Play() override {}
  void Stop() override {}
  void Pause() override {}
  void Next() override {}
  void Previous() override {}
  void SetLabelText(std::string_view, std::string_view) override {}
  void SetItemVisible(std::string_view, bool) override {}
  int64_t ProgressBarPosition(std::string_view) override { return 7; }
  void SetProgressBarPosition(std::string_view, int64_t) override {}
  void SetProgressBarMax(std::string_view, int64_t) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static TFuzzHost host;
  vesperon::TScriptengine engine;
  engine.SetHost(vesperon::TScriptHost{&host, &host});
  engine.SetInstructionLimit(kFuzzInstructionLimit);
  engine.CompileModule(std::string_view(reinterpret_cast<const char*>(data), size));
  engine.Run();
  vesperon::ClearSharedSlots();
  return 0;
}
