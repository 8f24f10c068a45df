// Skin descriptions come from any skin file: whatever the XML says, a load
// must end as a loaded skin or a failed one, never crash, hang or leave
// windows behind. The input is the description; the images are the built-in
// skin's. After a load the skin is exercised (scripts, scrolling, paints)
// and unloaded again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/commands.h"
#include "core/params.h"
#include "core/skin_link.h"
#include "platform/headless.h"
#include "resources/skins/builtin_skin.h"
#include "skin/skin.h"

namespace {

vesperon::TPackedSkin* gBuiltin = nullptr;

void Fail() { std::abort(); }

// Every window and control the load made, so that their absence can be
// checked after the unload.
std::vector<vesperon::THandle> Handles(const vesperon::TSkin& skin) {
  std::vector<vesperon::THandle> out;
  for (const auto& w : skin.Windows) {
    out.push_back(w->Handle);
    for (const auto& c : w->Buttons) out.push_back(c->Handle);
    for (const auto& c : w->Labels) out.push_back(c->Handle);
    for (const auto& c : w->ProgressBars) out.push_back(c->Handle);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  using namespace vesperon;
  gParams.Silent = true;
  OpenPlatform(pkHeadless);
  gBuiltin = new TPackedSkin;
  if (!ReadPackedSkin(BuiltinSkinFile(), "(built-in)", *gBuiltin)) Fail();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace vesperon;
  TPackedSkin package;
  package.Description.assign(reinterpret_cast<const char*>(data), size);
  if (!package.Document.load_buffer(package.Description.data(), package.Description.size(),
                                    kDescriptionParseOptions))
    return 0;  // not XML: the packed skin reader refuses it before any handler runs
  package.Images = gBuiltin->Images;
  TSkin skin;
  gSkin = &skin;
  gSkinLink = &skin.Link();
  const bool loaded = skin.LoadPackage(package);
  if (loaded != skin.Loaded() || (loaded && gMainWindow == 0)) Fail();
  if (loaded) {
    for (std::size_t i = 0; i < skin.Scripts.Count(); ++i)
      skin.Scripts[i].SetInstructionLimit(20000);
    DispatchPendingMessages();
    RunOnSongCommand();
    RunOnTimeCommand();
    skin.AdvanceScrolling();
    // Copied first: a command may load another skin.
    std::vector<std::u16string> functions;
    for (const auto& w : skin.Windows)
      for (const auto& c : w->Buttons) functions.push_back(c->Function);
    for (const auto& f : functions) RunCommand(f);
    DispatchPendingMessages();
  }
  const std::vector<THandle> made = Handles(skin);
  skin.Unload();
  for (const THandle h : made)
    if (h != 0 && IsWindow(h)) Fail();
  if (gMainWindow != 0 || !skin.Images.empty()) Fail();
  gSkinLink = nullptr;
  gSkin = nullptr;
  ClearMessageQueue();
  return 0;
}
